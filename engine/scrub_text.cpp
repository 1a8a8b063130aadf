#include "engine/scrub_text.h"

#include <algorithm>
#include <chrono>

#include "engine/run_report.h"

namespace palvimo {

std::string Scrub_Progress_Text(const Scrub_Progress& progress, std::uint64_t faults) {
  const std::uint64_t to_read = progress.bytes_total - std::min(progress.bytes_total, progress.bytes_skipped);
  const double seconds = std::chrono::duration<double>(progress.elapsed).count();
  const double speed = seconds > 0 ? static_cast<double>(progress.bytes_read) / seconds : 0.0;
  std::string text = Format_Bytes(progress.bytes_read) + " of " + Format_Bytes(to_read) + "  " + Format_Speed(speed);
  if (speed > 0 && to_read > progress.bytes_read) {
    const auto left = std::chrono::duration<double>(static_cast<double>(to_read - progress.bytes_read) / speed);
    text += "  " + Format_Duration(std::chrono::duration_cast<std::chrono::steady_clock::duration>(left)) + " left";
  }
  return text + "  " + Format_Count_Of(faults, "fault", "faults");
}

std::string Scrub_Verdict_Text(const Scrub_Result& result) {
  const Scrub_Tally& tally = result.tally;
  std::string text = tally.drive_faults == 0 ? "No faults found" : Format_Count_Of(tally.drive_faults, "fault", "faults");
  if (tally.not_checked > 0) text += ", " + Format_Count_Of(tally.not_checked, "file", "files") + " not checked";
  return text + ".";
}

std::string Scrub_Summary_Text(const Scrub_Result& result) {
  const Scrub_Tally& tally = result.tally;
  std::string text = std::string(result.stopped ? "Stopped: read " : "Read ") +
                     Format_Count_Of(result.progress.files_read, "file", "files") + " (" +
                     Format_Bytes(result.progress.bytes_read) + "): " + Format_Count(tally.files_verified) +
                     " as catalogued, " + Format_Count(tally.files_new) + " new, " +
                     Format_Count(tally.files_recatalogued) + " edited";
  if (tally.files_unsteady > 0) text += ", " + Format_Count(tally.files_unsteady) + " changed while read";
  if (result.progress.files_skipped > 0) {
    text += "; " + Format_Count(result.progress.files_skipped) + " skipped, verified in the last 24 hours";
  }
  return text + ". " + Scrub_Verdict_Text(result);
}

}  // namespace palvimo
