#pragma once

#include <QWidget>
#include <vector>

#include "engine/run_record.h"

namespace palvimo {

// The read and write speed of each probe over the run, two lines painted on
// a plain grid. The record keeps its points few however long the run, so a
// repaint costs the same after a million probes as after a thousand.
// Painted here rather than drawn with a charts library: one plot of two
// lines is a page of code, where the library would be one more package for
// every build and install, offered under the GPL only.
class Speed_Plot : public QWidget {
 public:
  explicit Speed_Plot(QWidget* parent = nullptr);

  // Shows `points`; repaints only when they differ from those shown.
  void Set_Points(const std::vector<Speed_Point>& points);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Speed_Point> points_;
};

}  // namespace palvimo
