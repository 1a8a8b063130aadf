#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>

#include "engine/run_record.h"

namespace palvimo {

// The figures of a run as it goes, in one line for the main window: the
// time it has run, the files checked, the drive's faults and the files not
// checked, the bytes moved and the speed over the last few seconds. The
// speed comes from the record's totals as the window's timer samples them,
// so it follows the drive as it is now rather than the run's average.
class Live_Figures {
 public:
  // How far back the recent speed looks.
  static constexpr std::chrono::seconds Speed_Span{5};

  // Notes the bytes `record` has moved by `now`; samples older than
  // Speed_Span before it are let go. A new run starts afresh.
  void Sample(const Run_Record& record, std::chrono::steady_clock::time_point now);
  // Bytes a second moved between the oldest sample kept and the newest; 0
  // until two samples lie apart in time.
  double Recent_Speed() const;
  // "0:12 · 154 checked · 0 drive faults · 2 not checked · 1.2 GB at 95 MB/s"
  QString Text(const Run_Record& record) const;

  // Bytes read, written and read back: all the run moved on the drive.
  static std::uint64_t Bytes_Moved(const Run_Record& record);

 private:
  struct Sample_Point {
    std::chrono::steady_clock::time_point at;
    std::uint64_t bytes = 0;
  };
  std::deque<Sample_Point> samples_;
  std::chrono::system_clock::time_point run_start_{};
};

}  // namespace palvimo
