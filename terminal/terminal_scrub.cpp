#include "terminal/terminal_scrub.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/catalogue.h"
#include "engine/run_report.h"
#include "engine/scrub.h"
#include "engine/scrub_text.h"
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
    line_.Show(Scrub_Progress_Text(progress, faults_), now);
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
  out << Scrub_Summary_Text(result) << std::endl;
  return Scrub_Exit_Status(result);
}

}  // namespace palvimo
