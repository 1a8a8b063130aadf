#include "terminal/progress_line.h"

#include <array>

#ifdef __unix__
#include <sys/ioctl.h>
#endif

#include "engine/run_report.h"

namespace palvimo {

std::string Progress_Text(const Run_Record& record, double speed, std::size_t width) {
  const Probe_Figures& totals = record.Totals();
  const std::uint64_t faults = record.Failed_Of(Failure_Class::Drive_Fault);
  const std::uint64_t not_checked = record.Failed_Of(Failure_Class::Not_Checked);
  // The parts in the order shown, each with the rank at which it goes when
  // the line is too wide: the highest first, 0 never.
  struct Part {
    std::string text;
    int drop_rank;
  };
  const std::array<Part, 8> parts = {{
      {Format_Duration(record.Elapsed()), 0},
      {Format_Count_Of(record.Probes(), "file", "files"), 0},
      {"read " + Format_Bytes(totals.bytes_read), 4},
      {"written " + Format_Bytes(totals.bytes_written), 3},
      {"read back " + Format_Bytes(totals.bytes_read_back), 5},
      {Format_Speed(speed), 2},
      {Format_Count(faults) + (faults == 1 ? " fault" : " faults"), 0},
      {not_checked == 0 ? std::string() : Format_Count(not_checked) + " not checked", 1},
  }};
  const auto join = [&](int dropped_from) {
    std::string line;
    for (const Part& part : parts) {
      if (part.text.empty() || (part.drop_rank != 0 && part.drop_rank >= dropped_from)) continue;
      if (!line.empty()) line += "  ";
      line += part.text;
    }
    return line;
  };
  std::string line = join(6);
  for (int dropped_from = 5; width != 0 && line.size() >= width && dropped_from >= 1; --dropped_from)
    line = join(dropped_from);
  // The last column is left free: a terminal that wraps there would leave
  // the line behind at each rewrite.
  if (width != 0 && line.size() >= width) line.resize(width - 1);
  return line;
}

Progress_Line::Progress_Line(std::ostream& out, Mode mode, int terminal_fd)
    : out_(out), mode_(mode), terminal_fd_(terminal_fd), last_shown_(Clock::now()) {}

bool Progress_Line::Due(Clock::time_point now) const {
  switch (mode_) {
    case Mode::Off: return false;
    case Mode::Rewritten: return !shown_ || now - last_shown_ >= Rewrite_Interval;
    case Mode::Lines: return now - last_shown_ >= Line_Interval;
  }
  return false;
}

std::size_t Progress_Line::Width() const {
  if (mode_ != Mode::Rewritten || terminal_fd_ < 0) return 0;
#ifdef TIOCGWINSZ
  winsize size{};
  if (ioctl(terminal_fd_, TIOCGWINSZ, &size) == 0) return size.ws_col;
#endif
  return 0;
}

void Progress_Line::Show(const std::string& text, Clock::time_point now) {
  if (mode_ == Mode::Off) return;
  if (mode_ == Mode::Rewritten) {
    // Carriage return, the text, and the rest of the old line erased.
    out_ << '\r' << text << "\x1b[K" << std::flush;
    on_screen_ = true;
  } else {
    out_ << text << std::endl;
  }
  last_shown_ = now;
  shown_ = true;
}

void Progress_Line::Clear() {
  if (!on_screen_) return;
  out_ << "\r\x1b[K" << std::flush;
  on_screen_ = false;
}

}  // namespace palvimo
