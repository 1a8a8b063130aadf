#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

#include "engine/run_record.h"

namespace palvimo {

// One line on how a run is going: "2 min 05 s  1,204 files  read 3.1 GB
// written 3.1 GB  read back 3.1 GB  95 MB/s  0 faults", with "  3 not
// checked" after when some were not. `speed` is bytes a second. Where
// `width` is not 0 the line is shortened to fewer than `width` characters,
// the amounts going first and the time, files and faults last, so that a
// terminal never wraps it.
std::string Progress_Text(const Run_Record& record, double speed, std::size_t width = 0);

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

  // `terminal_fd` is the terminal `out` writes to, asked for its width; -1
  // where there is none.
  Progress_Line(std::ostream& out, Mode mode, int terminal_fd = -1);

  // Whether the line is due at `now`: on a terminal at once, then at most
  // four times a second; elsewhere every 10 s from the start.
  bool Due(Clock::time_point now) const;
  // The columns a rewritten line may take now, asked each time since the
  // terminal may be resized; 0 for no limit.
  std::size_t Width() const;
  // Shows `text` as the progress, at once.
  void Show(const std::string& text, Clock::time_point now);
  // Takes a rewritten line off the terminal, so that another line can be
  // written in its place; it comes back at the next Show.
  void Clear();

 private:
  std::ostream& out_;
  Mode mode_;
  int terminal_fd_;
  Clock::time_point last_shown_;
  bool shown_ = false;
  bool on_screen_ = false;
};

}  // namespace palvimo
