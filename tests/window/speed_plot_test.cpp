#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <vector>

#include "window/speed_plot.h"

namespace palvimo::testing {
namespace {

// Rows of the plot, below its legend, where the blue read line is drawn.
std::vector<int> Read_Line_Rows(Speed_Plot& plot) {
  QImage image(plot.size(), QImage::Format_RGB32);
  plot.render(&image);
  const int below_legend = plot.fontMetrics().height() + 8;
  std::vector<int> rows;
  for (int y = below_legend; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.blue() > pixel.red() + 60 && pixel.blue() > pixel.green() + 20) rows.push_back(y);
    }
  }
  return rows;
}

// One probe of a small file read from the cache, a hundred times faster than
// the drive, leaves the drive's steady speed in the upper half of the plot,
// not flat along its base line.
TEST(Speed_Plot_Test, SpeedOfMostProbesFillsThePlotDespiteOneFarFasterProbe) {
  Speed_Plot plot;
  plot.resize(400, 200);
  std::vector<Speed_Point> points;
  for (int probe = 0; probe < 200; ++probe) points.push_back({probe * 0.1, 50e6, 30e6});
  points[100].read_speed = 5e9;
  plot.Set_Points(points);

  std::vector<int> rows = Read_Line_Rows(plot);
  ASSERT_GT(rows.size(), 200u);
  std::nth_element(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(rows.size() / 2), rows.end());
  EXPECT_LT(rows[rows.size() / 2], plot.height() / 2);
}

// Reads that are fast throughout, spread from 1 to 2.1 GB/s beside slow
// writes, fit under the plot's top line: none of them is cut at the top.
TEST(Speed_Plot_Test, FastReadsOfEveryProbeFitUnderTheTop) {
  Speed_Plot plot;
  plot.resize(400, 220);
  std::vector<Speed_Point> points;
  for (int probe = 0; probe < 200; ++probe) points.push_back({probe * 0.1, 1.0e9 + 1.1e9 * probe / 199, 50e6, 0});
  plot.Set_Points(points);

  QImage image(plot.size(), QImage::Format_RGB32);
  plot.render(&image);
  // The plot's area begins below the legend; a cut read would lie on its top
  // row. The faint per-file line counts as well as its average.
  const int area_top = plot.fontMetrics().height() + 8;
  int highest = image.height();
  for (int y = area_top - 1; y < image.height() && highest == image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.blue() > pixel.red() + 30 && pixel.blue() > pixel.green() + 10) highest = y;
    }
  }
  ASSERT_LT(highest, image.height());
  EXPECT_GT(highest, area_top + 2);
}

}  // namespace
}  // namespace palvimo::testing
