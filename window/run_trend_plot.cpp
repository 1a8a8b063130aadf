#include "window/run_trend_plot.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "engine/run_report.h"
#include "window/display_text.h"

namespace palvimo {

namespace {

// As the speed plot's: read blue, write orange.
const QColor Read_Colour(0x1F, 0x77, 0xB4);
const QColor Write_Colour(0xE0, 0x6C, 0x00);

// A round figure at or above `highest`: 1, 2 or 5 times a power of ten.
double Round_Top(double highest) {
  if (highest <= 0) return 1e6;
  const double power = std::pow(10.0, std::floor(std::log10(highest)));
  for (const double mantissa : {1.0, 2.0, 5.0}) {
    if (highest <= mantissa * power) return mantissa * power;
  }
  return 10 * power;
}

}  // namespace

Run_Trend_Plot::Run_Trend_Plot(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QCoreApplication::translate("Run_Trend_Plot", "Speed by run"));
}

void Run_Trend_Plot::Set_Runs(const std::vector<Past_Run>& runs) {
  points_.clear();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (run->read_speed > 0 || run->write_speed > 0) points_.emplace_back(run->read_speed, run->write_speed);
  }
  setAccessibleDescription(QStringLiteral("%1 runs").arg(points_.size()));
  update();
}

QSize Run_Trend_Plot::sizeHint() const { return {480, 140}; }
QSize Run_Trend_Plot::minimumSizeHint() const { return {160, 80}; }

void Run_Trend_Plot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const QFontMetrics metrics = fontMetrics();
  const int text_height = metrics.height();
  painter.setPen(palette().text().color());
  if (points_.empty()) {
    painter.drawText(rect(), Qt::AlignCenter, QCoreApplication::translate("Run_Trend_Plot", "No run of this drive has speeds to plot."));
    return;
  }
  double highest = 0;
  for (const auto& [read, write] : points_) highest = std::max({highest, read, write});
  const double top = Round_Top(highest);
  const QString top_label = Display_Text(Format_Speed(top));
  const QRect area(metrics.horizontalAdvance(top_label) + 8, text_height + 8,
                   std::max(1, width() - metrics.horizontalAdvance(top_label) - 16),
                   std::max(1, height() - 2 * text_height - 16));
  // The legend above, the scale to the left, the runs' count below.
  painter.setPen(Read_Colour);
  const QString read_name = QCoreApplication::translate("Run_Trend_Plot", "read");
  painter.drawText(area.left(), text_height, read_name);
  painter.setPen(Write_Colour);
  painter.drawText(area.left() + metrics.horizontalAdvance(read_name + QStringLiteral("  ")), text_height,
                   QCoreApplication::translate("Run_Trend_Plot", "write"));
  painter.setPen(palette().text().color());
  painter.drawText(0, area.top() + text_height / 2, top_label);
  painter.drawText(0, area.bottom(), QStringLiteral("0"));
  painter.drawText(area.left(), area.bottom() + text_height + 4,
                   QCoreApplication::translate("Run_Trend_Plot", "%1 runs, oldest on the left").arg(points_.size()));
  painter.setPen(palette().mid().color());
  painter.drawRect(area);

  painter.setRenderHint(QPainter::Antialiasing);
  const auto at = [&](std::size_t index, double speed) {
    const double x = points_.size() == 1 ? area.center().x()
                                         : area.left() + area.width() * static_cast<double>(index) /
                                                             static_cast<double>(points_.size() - 1);
    return QPointF(x, area.bottom() - area.height() * std::min(speed / top, 1.0));
  };
  for (const bool read : {true, false}) {
    QPainterPath line;
    for (std::size_t index = 0; index < points_.size(); ++index) {
      const QPointF point = at(index, read ? points_[index].first : points_[index].second);
      if (index == 0)
        line.moveTo(point);
      else
        line.lineTo(point);
      painter.setPen(QPen(read ? Read_Colour : Write_Colour, 2));
      painter.drawEllipse(point, 2.5, 2.5);
    }
    painter.setPen(QPen(read ? Read_Colour : Write_Colour, 2));
    painter.drawPath(line);
  }
}

}  // namespace palvimo
