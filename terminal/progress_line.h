#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "engine/run_record.h"

namespace palvimo {

// One line on how a run is going: "2 min 05 s  1,204 files  read 3.1 GB
// written 3.1 GB  read back 3.1 GB  95 MB/s  0 faults". `speed` is the
// current speed, bytes a second.
std::string Progress_Text(const Run_Record& record, double speed);

// Progress on standard error, in the way that suits where it goes: on a
// terminal one line rewritten in place, elsewhere a plain line now and then,
// or nothing at all.
class Progress_Line {
 public:
  enum class Mode { Off, Rewritten, Lines };
  using Clock = std::chrono::steady_clock;

  // How often the line is shown at most, in each mode.
  static constexpr std::chrono::milliseconds Rewrite_Interval{250};
  static constexpr std::chrono::seconds Line_Interval{10};

  Progress_Line(std::ostream& out, Mode mode);

  // Whether the line is due at `now`: on a terminal at once, then at most
  // four times a second; elsewhere every 10 s from the start.
  bool Due(Clock::time_point now) const;
  // Shows `text` as the progress, at once.
  void Show(const std::string& text, Clock::time_point now);
  // Takes a rewritten line off the terminal, so that another line can be
  // written in its place; it comes back at the next Show.
  void Clear();

 private:
  std::ostream& out_;
  Mode mode_;
  Clock::time_point last_shown_;
  bool shown_ = false;
  bool on_screen_ = false;
};

}  // namespace palvimo
