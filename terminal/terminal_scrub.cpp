#include "terminal/terminal_scrub.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/catalogue.h"
#include "engine/run_report.h"
#include "engine/scrub.h"
#include "platform/end_signals.h"
#include "platform/escaped_text.h"
#include "platform/file_system.h"

namespace palvimo {

namespace {

class Terminal_Scrub final : public Scrub_Listener {
 public:
  Terminal_Scrub(std::ostream& err, Progress_Line::Mode mode) : err_(err), line_(err, mode) {}

  void Progress(const Scrub_Progress& progress) override {
    const auto now = Progress_Line::Clock::now();
    if (!line_.Due(now)) return;
    const std::uint64_t to_read = progress.bytes_total - std::min(progress.bytes_total, progress.bytes_skipped);
    const double seconds = std::chrono::duration<double>(progress.elapsed).count();
    const double speed = seconds > 0 ? static_cast<double>(progress.bytes_read) / seconds : 0.0;
    std::string text = Format_Bytes(progress.bytes_read) + " of " + Format_Bytes(to_read) + "  " +
                       Format_Speed(speed);
    if (speed > 0 && to_read > progress.bytes_read) {
      const auto left = std::chrono::duration<double>(static_cast<double>(to_read - progress.bytes_read) / speed);
      text += "  " + Format_Duration(std::chrono::duration_cast<std::chrono::steady_clock::duration>(left)) + " left";
    }
    text += "  " + Format_Count(faults_) + (faults_ == 1 ? " fault" : " faults");
    line_.Show(text, now);
  }

  void Failed(const Failure_Entry& failure) override {
    if (Class_Of(failure.kind) == Failure_Class::Drive_Fault) ++faults_;
    line_.Clear();
    err_ << "palvimo-check: " << Escaped_Text(failure.path) << ": " << Escaped_Text(failure.reason) << std::endl;
  }

  bool Stop_Requested() override { return signals_.Received(); }

  void Done() { line_.Clear(); }

 private:
  std::ostream& err_;
  Progress_Line line_;
  End_Signals signals_;
  std::uint64_t faults_ = 0;
};

// The folder as a full path with no trailing separator, which the catalogue
// takes its files' paths on the volume from.
std::string Full_Folder(const std::string& folder) {
  std::error_code error;
  std::string full = std::filesystem::absolute(folder, error).lexically_normal().string();
  if (error) return folder;
  while (full.size() > 1 && full.back() == '/') full.pop_back();
  return full;
}

}  // namespace

int Run_Scrub(const Check_Options& options, std::ostream& out, std::ostream& err, Progress_Line::Mode progress) {
  const std::string folder = Full_Folder(options.folder);
  const auto files = Make_Local_File_System();
  Catalogue catalogue(Default_Catalogue_Folder(), folder);
  Terminal_Scrub listener(err, progress);
  Scrub scrub(*files, catalogue, Scrub::Settings{options.scrub_all, std::chrono::hours(24)}, listener);
  const Scrub_Result result = scrub.Run(folder);
  listener.Done();
  catalogue.Flush();
  if (const auto problem = catalogue.Problem()) {
    err << "palvimo-check: the catalogue is not kept: " << Escaped_Text(*problem) << std::endl;
  }
  if (!result.cannot_check.empty()) {
    err << "palvimo-check: " << Escaped_Text(result.cannot_check) << std::endl;
    return Scrub_Exit_Status(result);
  }
  const Scrub_Tally& tally = result.tally;
  out << (result.stopped ? "Stopped: read " : "Read ") << Format_Count(result.progress.files_read) << " files ("
      << Format_Bytes(result.progress.bytes_read) << "): " << Format_Count(tally.files_verified) << " as catalogued, "
      << Format_Count(tally.files_new) << " new, " << Format_Count(tally.files_recatalogued) << " edited";
  if (tally.files_unsteady > 0) out << ", " << Format_Count(tally.files_unsteady) << " changed while read";
  if (result.progress.files_skipped > 0) {
    out << "; " << Format_Count(result.progress.files_skipped) << " skipped, verified in the last 24 hours";
  }
  out << ". " << (tally.drive_faults == 0 ? "No faults found" : Format_Count(tally.drive_faults) + (tally.drive_faults == 1 ? " fault" : " faults"))
      << (tally.not_checked > 0 ? ", " + Format_Count(tally.not_checked) + " files not checked" : std::string())
      << "." << std::endl;
  return Scrub_Exit_Status(result);
}

}  // namespace palvimo
