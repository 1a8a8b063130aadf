#include "window/speed_plot.h"

#include <QCoreApplication>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <chrono>
#include <cmath>

#include "engine/run_report.h"
#include "window/display_text.h"

namespace palvimo {

namespace {

// Read blue, write orange, read-back purple: colours that the common kinds
// of colour blindness still tell apart, all legible on light and dark bases.
const QColor Read_Colour(0x1F, 0x77, 0xB4);
const QColor Write_Colour(0xE0, 0x6C, 0x00);
const QColor Read_Back_Colour(0x94, 0x67, 0xBD);

using Speed_Of = double Speed_Point::*;

struct Series {
  Speed_Of speed;
  QColor colour;
  const char* name;
};
const Series All_Series[] = {{&Speed_Point::read_speed, Read_Colour, QT_TRANSLATE_NOOP("Speed_Plot", "read")},
                             {&Speed_Point::write_speed, Write_Colour, QT_TRANSLATE_NOOP("Speed_Plot", "write")},
                             {&Speed_Point::read_back_speed, Read_Back_Colour,
                              QT_TRANSLATE_NOOP("Speed_Plot", "read back")}};

QString Tr(const char* text) { return QCoreApplication::translate("Speed_Plot", text); }

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

// How far above a line's usual speed a probe may lie and still be plotted
// in full.
constexpr double Plausible_Factor = 4;

// The fastest speed of any line that is plausible for it: no more than
// Plausible_Factor times what nine in ten of its probes stay under. A small
// file read from the cache can show a speed a hundred times the drive's;
// scaled to it, every other probe would lie flat along the base line, so
// such a probe alone is cut at the top. A line that is fast throughout, as
// reads often are beside writes, fits whole.
double Plausible_Highest(const std::vector<Speed_Point>& points) {
  double highest = 0;
  if (points.empty()) return highest;
  std::vector<double> speeds(points.size());
  for (const Series& series : All_Series) {
    std::transform(points.begin(), points.end(), speeds.begin(),
                   [&](const Speed_Point& point) { return point.*series.speed; });
    const auto usual = speeds.begin() + static_cast<std::ptrdiff_t>(speeds.size() * 9 / 10);
    std::nth_element(speeds.begin(), usual, speeds.end());
    const double bound = *usual * Plausible_Factor;
    for (const double speed : speeds)
      if (speed <= bound) highest = std::max(highest, speed);
  }
  return highest;
}

}  // namespace

std::vector<double> Moving_Average(const std::vector<double>& values, std::size_t span) {
  std::vector<double> averages;
  averages.reserve(values.size());
  double sum = 0;
  for (std::size_t at = 0; at < values.size(); ++at) {
    sum += values[at];
    if (at >= span) sum -= values[at - span];
    averages.push_back(sum / static_cast<double>(std::min(at + 1, span)));
  }
  return averages;
}

namespace {

// The line as drawn on a screen: of the points that fall in one column of
// pixels, only the first, the lowest, the highest and the last are kept, in
// their order. A run of hours has far more points than the plot has
// columns, and it is painted again as each file is checked.
QPolygonF Column_Spans(const QPolygonF& line) {
  QPolygonF kept;
  qsizetype at = 0;
  while (at < line.size()) {
    const double column = std::floor(line[at].x());
    const QPointF first = line[at];
    QPointF low = first;
    QPointF high = first;
    QPointF last = first;
    bool low_before_high = true;
    for (++at; at < line.size() && std::floor(line[at].x()) == column; ++at) {
      last = line[at];
      if (last.y() < low.y()) {
        low = last;
        low_before_high = false;
      }
      if (last.y() > high.y()) {
        high = last;
        low_before_high = true;
      }
    }
    kept << first << (low_before_high ? low : high) << (low_before_high ? high : low) << last;
  }
  return kept;
}

QString Speed_Label(double bytes_per_second) { return Display_Text(Format_Speed(bytes_per_second)); }

QString Seconds_Label(double seconds) {
  using namespace std::chrono;
  return Display_Text(Format_Duration(duration_cast<steady_clock::duration>(duration<double>(seconds))));
}

}  // namespace

Speed_Plot::Speed_Plot(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QCoreApplication::translate("Speed_Plot", "Speed plot"));
  setAccessibleDescription(QCoreApplication::translate("Speed_Plot", "The read, write and read-back speed of each file checked over the run, thin, with "
                              "their moving averages, thick; the figures give the averages of the run."));
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

QSize Speed_Plot::sizeHint() const { return {480, 200}; }

QSize Speed_Plot::minimumSizeHint() const { return {240, 130}; }

std::size_t Speed_Plot::Average_Span(std::size_t points) { return std::clamp<std::size_t>(points / 20, 1, 25); }

void Speed_Plot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& colours = palette();
  painter.fillRect(rect(), colours.color(QPalette::Base));
  const QFontMetrics metrics = fontMetrics();
  painter.setPen(colours.color(QPalette::Text));
  if (points_.empty()) {
    painter.drawText(rect(), Qt::AlignCenter, QCoreApplication::translate("Speed_Plot", "No speed measured yet"));
    return;
  }

  const Scale scale = Speed_Scale(Plausible_Highest(points_));
  const double last_second = std::max(points_.back().seconds, 1e-3);

  // The legend above; the speeds, and their axis's name, to the left; the
  // time below, and its axis's name under it.
  const int line = metrics.height();
  const QString speed_axis = QCoreApplication::translate("Speed_Plot", "speed");
  const int left = line + 4 + metrics.horizontalAdvance(Speed_Label(scale.top)) + 10;
  const QRectF area(left, line + 8, std::max(width() - left - 10, 10), std::max(height() - 3 * line - 20, 10));

  QPen grid_pen(colours.color(QPalette::Mid));
  grid_pen.setWidth(0);
  for (int step = 0; step <= scale.steps; ++step) {
    const double speed = scale.top * step / scale.steps;
    const double y = area.bottom() - area.height() * step / scale.steps;
    painter.setPen(grid_pen);
    painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(QRectF(line + 4, y - line / 2.0, left - line - 10, line), Qt::AlignRight | Qt::AlignVCenter,
                     Speed_Label(speed));
  }
  painter.save();
  painter.translate(2, area.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-area.height() / 2, 0, area.height(), line), Qt::AlignCenter, speed_axis);
  painter.restore();
  const QRectF time_row(area.left(), area.bottom() + 4, area.width(), line);
  painter.drawText(time_row, Qt::AlignLeft | Qt::AlignTop, Seconds_Label(0));
  painter.drawText(time_row, Qt::AlignRight | Qt::AlignTop, Seconds_Label(last_second));
  painter.drawText(time_row.translated(0, line + 2), Qt::AlignHCenter | Qt::AlignTop, QCoreApplication::translate("Speed_Plot", "time into the run"));

  const auto place = [&](double seconds, double speed) {
    return QPointF(area.left() + area.width() * seconds / last_second,
                   area.bottom() - area.height() * std::min(speed / scale.top, 1.0));
  };
  // Each file's speeds faint, their moving average over it in full colour:
  // the one shows how far the files spread, the other how the drive goes.
  const std::size_t span = Average_Span(points_.size());
  std::vector<double> speeds(points_.size());
  for (const Series& series : All_Series) {
    std::transform(points_.begin(), points_.end(), speeds.begin(),
                   [&](const Speed_Point& point) { return point.*series.speed; });
    const std::vector<double> averages = Moving_Average(speeds, span);
    QPolygonF each;
    QPolygonF average;
    each.reserve(static_cast<qsizetype>(points_.size()));
    average.reserve(static_cast<qsizetype>(points_.size()));
    for (std::size_t at = 0; at < points_.size(); ++at) {
      each << place(points_[at].seconds, speeds[at]);
      average << place(points_[at].seconds, averages[at]);
    }
    // Pens one pixel wide whatever the scale: a wider one is stroked as an
    // outline, point by point, some fifty times slower at a thousand points.
    // The average is drawn twice, a pixel apart, to stand out at that cost.
    QColor faint = series.colour;
    faint.setAlpha(90);
    painter.setPen(QPen(faint, 0));
    painter.drawPolyline(Column_Spans(each));
    painter.setPen(QPen(series.colour, 0));
    const QPolygonF thick = Column_Spans(average);
    painter.drawPolyline(thick);
    painter.drawPolyline(thick.translated(0, -1));
  }

  // The legend: a stroke of each line's colour before its name.
  double x = area.left();
  const double y = 4 + line / 2.0;
  for (const Series& series : All_Series) {
    const QString name = Tr(series.name);
    painter.setPen(QPen(series.colour, 3));
    painter.drawLine(QPointF(x, y), QPointF(x + 24, y));
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(QPointF(x + 30, y + metrics.ascent() / 2.0 - 1), name);
    x += 30 + metrics.horizontalAdvance(name) + 20;
  }
  if (span > 1) {
    painter.drawText(QPointF(x, y + metrics.ascent() / 2.0 - 1),
                     QCoreApplication::translate("Speed_Plot", "thick: average of %1 files").arg(span));
  }
}

}  // namespace palvimo
