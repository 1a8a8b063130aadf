#include "terminal/progress_line.h"

#include "engine/run_report.h"

namespace palvimo {

std::string Progress_Text(const Run_Record& record, double speed) {
  const Probe_Figures& totals = record.Totals();
  return Format_Duration(record.Elapsed()) + "  " + Format_Count(record.Probes()) +
         (record.Probes() == 1 ? " file" : " files") + "  read " + Format_Bytes(totals.bytes_read) + "  written " +
         Format_Bytes(totals.bytes_written) + "  read back " + Format_Bytes(totals.bytes_read_back) + "  " +
         Format_Speed(speed) + "  " + Format_Count(record.Failed()) + (record.Failed() == 1 ? " fault" : " faults");
}

Progress_Line::Progress_Line(std::ostream& out, Mode mode) : out_(out), mode_(mode), last_shown_(Clock::now()) {}

bool Progress_Line::Due(Clock::time_point now) const {
  switch (mode_) {
    case Mode::Off: return false;
    case Mode::Rewritten: return !shown_ || now - last_shown_ >= Rewrite_Interval;
    case Mode::Lines: return now - last_shown_ >= Line_Interval;
  }
  return false;
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
