#pragma once

#include <QWidget>
#include <vector>

#include "engine/run_history.h"

namespace palvimo {

// The average read and write speed of each past run of one drive, oldest
// on the left: a drive that slows down over the months shows as lines that
// fall. Painted as Speed_Plot paints its lines.
class Run_Trend_Plot : public QWidget {
 public:
  explicit Run_Trend_Plot(QWidget* parent = nullptr);

  // Shows the runs given newest first; runs with no speed are left out.
  void Set_Runs(const std::vector<Past_Run>& runs);
  // The points shown, oldest first: read and write speed, bytes a second.
  const std::vector<std::pair<double, double>>& Points() const { return points_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<std::pair<double, double>> points_;
};

}  // namespace palvimo
