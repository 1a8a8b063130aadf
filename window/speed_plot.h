#pragma once

#include <QWidget>
#include <vector>

#include "engine/run_record.h"

namespace palvimo {

// The read, write and read-back speed of each probe over the run, each as a
// faint line with its moving average drawn over it, on a grid with named
// axes. The record keeps its points few however long the run, so a
// repaint costs the same after a million probes as after a thousand.
// Painted here rather than drawn with a charts library: one plot of a few
// lines is a page of code, where the library would be one more package for
// every build and install, offered under the GPL only.
// The average of each value with the span - 1 before it (fewer at the start).
std::vector<double> Moving_Average(const std::vector<double>& values, std::size_t span);

class Speed_Plot : public QWidget {
 public:
  explicit Speed_Plot(QWidget* parent = nullptr);

  // Shows `points`; repaints only when they differ from those shown.
  void Set_Points(const std::vector<Speed_Point>& points);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // How many points the moving average of `points` points spans: enough to
  // smooth the spread of file sizes, few enough to follow a drive slowing.
  static std::size_t Average_Span(std::size_t points);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Speed_Point> points_;
};

}  // namespace palvimo
