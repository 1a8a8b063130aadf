#include "window/live_figures.h"

#include <QCoreApplication>

#include "engine/run_report.h"
#include "window/display_text.h"

namespace palvimo {

std::uint64_t Live_Figures::Bytes_Moved(const Run_Record& record) {
  const Probe_Figures& totals = record.Totals();
  return totals.bytes_read + totals.bytes_written + totals.bytes_read_back;
}

void Live_Figures::Sample(const Run_Record& record, std::chrono::steady_clock::time_point now) {
  if (record.Start_Time() != run_start_) {
    samples_.clear();
    run_start_ = record.Start_Time();
  }
  samples_.push_back({now, Bytes_Moved(record)});
  // The oldest sample kept is the last at or before the span's start, so
  // that the speed covers the whole span once the run is that old.
  while (samples_.size() > 2 && samples_[1].at <= now - Speed_Span) samples_.pop_front();
}

double Live_Figures::Recent_Speed() const {
  if (samples_.size() < 2) return 0;
  const double seconds = std::chrono::duration<double>(samples_.back().at - samples_.front().at).count();
  if (seconds <= 0 || samples_.back().bytes < samples_.front().bytes) return 0;
  return static_cast<double>(samples_.back().bytes - samples_.front().bytes) / seconds;
}

QString Live_Figures::Text(const Run_Record& record) const {
  const auto count = [](std::uint64_t number) { return Display_Text(Format_Count(number)); };
  const std::uint64_t faults = record.Failed_Of(Failure_Class::Drive_Fault);
  const QString fault_text = faults == 1 ? QCoreApplication::translate("Live_Figures", "%1 drive fault")
                                         : QCoreApplication::translate("Live_Figures", "%1 drive faults");
  QString text = QCoreApplication::translate("Live_Figures", "%1 · %2 checked · %3 · %4 not checked · %5")
                     .arg(Display_Text(Format_Duration(record.Elapsed())), count(record.Files_Checked()),
                          fault_text.arg(count(faults)), count(record.Files_Not_Checked()),
                          Display_Text(Format_Bytes(Bytes_Moved(record))));
  if (record.Running() && samples_.size() >= 2) {
    text = QCoreApplication::translate("Live_Figures", "%1 at %2")
               .arg(text, Display_Text(Format_Speed(Recent_Speed())));
  }
  return text;
}

}  // namespace palvimo
