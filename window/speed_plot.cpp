#include "window/speed_plot.h"

#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/run_report.h"
#include "window/display_text.h"

namespace palvimo {

namespace {

// Read blue, write orange: a pair that the common kinds of colour blindness
// still tell apart, both legible on light and dark bases.
const QColor Read_Colour(0x1F, 0x77, 0xB4);
const QColor Write_Colour(0xE0, 0x6C, 0x00);

struct Scale {
  double top = 0;  // bytes a second at the top line
  int steps = 1;   // grid lines above the base line
};

// The smallest of 1, 2 or 5 times a power of ten at or above `highest`,
// cut into steps that print as round figures.
Scale Speed_Scale(double highest) {
  if (highest <= 0) return {1e6, 5};
  const double power = std::pow(10.0, std::floor(std::log10(highest)));
  for (const auto& [mantissa, steps] : {std::pair{1.0, 5}, std::pair{2.0, 4}, std::pair{5.0, 5}}) {
    if (highest <= mantissa * power) return {mantissa * power, steps};
  }
  return {10 * power, 5};
}

// The speed that all but the fastest few probes stay under. A small file
// read from the cache can show a speed a hundred times the drive's; scaled
// to it, every other probe would lie flat along the base line. Those few
// are cut at the top of the plot instead.
double Usual_Highest(const std::vector<Speed_Point>& points) {
  std::vector<double> speeds;
  speeds.reserve(2 * points.size());
  for (const Speed_Point& point : points) {
    speeds.push_back(point.read_speed);
    speeds.push_back(point.write_speed);
  }
  const auto usual = speeds.begin() + static_cast<std::ptrdiff_t>(speeds.size() * 95 / 100);
  std::nth_element(speeds.begin(), usual, speeds.end());
  return *usual;
}

QString Speed_Label(double bytes_per_second) { return Display_Text(Format_Speed(bytes_per_second)); }

QString Seconds_Label(double seconds) {
  using namespace std::chrono;
  return Display_Text(Format_Duration(duration_cast<steady_clock::duration>(duration<double>(seconds))));
}

}  // namespace

Speed_Plot::Speed_Plot(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QStringLiteral("Speed plot"));
  setAccessibleDescription(
      QStringLiteral("The read and write speed of each file checked, over the run; the figures give the averages."));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void Speed_Plot::Set_Points(const std::vector<Speed_Point>& points) {
  // A point added, or the plot thinned, changes the count or the last point.
  const bool same = points.size() == points_.size() &&
                    (points.empty() || points.back().seconds == points_.back().seconds);
  if (same) return;
  points_ = points;
  update();
}

QSize Speed_Plot::sizeHint() const { return {480, 180}; }

QSize Speed_Plot::minimumSizeHint() const { return {240, 110}; }

void Speed_Plot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& colours = palette();
  painter.fillRect(rect(), colours.color(QPalette::Base));
  const QFontMetrics metrics = fontMetrics();
  painter.setPen(colours.color(QPalette::Text));
  if (points_.empty()) {
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("No speed measured yet"));
    return;
  }

  const Scale scale = Speed_Scale(Usual_Highest(points_));
  const double last_second = std::max(points_.back().seconds, 1e-3);

  // The legend above, the speeds to the left, the time below.
  const int line = metrics.height();
  const int left = metrics.horizontalAdvance(Speed_Label(scale.top)) + 10;
  const QRectF area(left, line + 8, std::max(width() - left - 10, 10), std::max(height() - 2 * line - 16, 10));

  QPen grid_pen(colours.color(QPalette::Mid));
  grid_pen.setWidth(0);
  for (int step = 0; step <= scale.steps; ++step) {
    const double speed = scale.top * step / scale.steps;
    const double y = area.bottom() - area.height() * step / scale.steps;
    painter.setPen(grid_pen);
    painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(QRectF(0, y - line / 2.0, left - 6, line), Qt::AlignRight | Qt::AlignVCenter, Speed_Label(speed));
  }
  const QRectF time_row(area.left(), area.bottom() + 4, area.width(), line);
  painter.drawText(time_row, Qt::AlignLeft | Qt::AlignTop, Seconds_Label(0));
  painter.drawText(time_row, Qt::AlignRight | Qt::AlignTop, Seconds_Label(last_second));

  const auto place = [&](double seconds, double speed) {
    return QPointF(area.left() + area.width() * seconds / last_second,
                   area.bottom() - area.height() * std::min(speed / scale.top, 1.0));
  };
  for (const auto& [speed, colour] : {std::pair{&Speed_Point::read_speed, Read_Colour},
                                      std::pair{&Speed_Point::write_speed, Write_Colour}}) {
    QPolygonF polyline;
    polyline.reserve(static_cast<qsizetype>(points_.size()));
    for (const Speed_Point& point : points_) polyline << place(point.seconds, point.*speed);
    // A pen one pixel wide whatever the scale: a wider one is stroked as an
    // outline, point by point, some fifty times slower at a thousand points.
    painter.setPen(QPen(colour, 0));
    painter.drawPolyline(polyline);
  }

  // The legend: a stroke of each line's colour before its name.
  double x = area.left();
  const double y = 4 + line / 2.0;
  for (const auto& [colour, name] : {std::pair{Read_Colour, QStringLiteral("read")}, std::pair{Write_Colour, QStringLiteral("write")}}) {
    painter.setPen(QPen(colour, 3));
    painter.drawLine(QPointF(x, y), QPointF(x + 24, y));
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(QPointF(x + 30, y + metrics.ascent() / 2.0 - 1), name);
    x += 30 + metrics.horizontalAdvance(name) + 20;
  }
}

}  // namespace palvimo
