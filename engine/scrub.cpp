#include "engine/scrub.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "engine/run_report.h"
#include "platform/whole_file_read.h"

namespace palvimo {

namespace {

// Findings not yet taken, beyond which the scrub waits for the catalogue.
constexpr std::size_t Most_Pending = 4096;

}  // namespace

Scrub::Scrub(File_System& files, Catalogue& catalogue, Settings settings, Scrub_Listener& listener)
    : files_(files), catalogue_(catalogue), settings_(settings), listener_(listener), buffer_(Buffer_Size) {}

Scrub_Result Scrub::Run(const std::string& root) {
  result_ = Scrub_Result();
  started_ = std::chrono::steady_clock::now();
  recent_since_ = std::chrono::system_clock::now() - settings_.recent;
  std::unique_ptr<Folder> folder;
  try {
    folder = files_.Open_Folder(root);
    List(*folder);
  } catch (const Check_Error& error) {
    result_.cannot_check = "Cannot open the folder: " + error.Path() + " (" + error.Reason() + ")";
    return result_;
  }
  result_.progress.elapsed = std::chrono::steady_clock::now() - started_;
  listener_.Progress(result_.progress);
  Read_Folder(*folder);
  Take_Findings(true);
  result_.stopped = listener_.Stop_Requested();
  result_.progress.elapsed = std::chrono::steady_clock::now() - started_;
  listener_.Progress(result_.progress);
  return result_;
}

// The first listing, for the totals. A subfolder that cannot be listed is
// said when the reading meets it.
void Scrub::List(Folder& folder) {
  const auto handle = static_cast<int>(folder.Native_Handle());
  const auto files = folder.Files();
  while (const auto name = files->Next()) {
    if (const auto size = Regular_File_Size(handle, *name)) {
      ++result_.progress.files_total;
      result_.progress.bytes_total += *size;
    }
  }
  const auto subfolders = folder.Subfolders();
  while (const auto name = subfolders->Next()) {
    if (listener_.Stop_Requested()) return;
    try {
      List(*folder.Open_Subfolder(*name));
    } catch (const Check_Error&) {
    }
  }
}

void Scrub::Read_Folder(Folder& folder) {
  std::vector<std::string> names;
  std::vector<std::string> subfolders;
  try {
    for (const auto files = folder.Files(); const auto name = files->Next();) names.push_back(*name);
    for (const auto listed = folder.Subfolders(); const auto name = listed->Next();) subfolders.push_back(*name);
  } catch (const Check_Error& error) {
    Fail(error.Path(), error.Kind(), "cannot list the folder: " + error.Reason(), error.Error_Number());
  }
  std::vector<std::string> recent;
  if (!settings_.all) recent = catalogue_.Verified_Since(folder.Path(), recent_since_).get();
  std::sort(recent.begin(), recent.end());
  for (const std::string& name : names) {
    if (listener_.Stop_Requested()) return;
    Read_File(folder, name, recent);
  }
  // Done with this folder's files before going deeper: the drive then reads
  // one folder's files together, and memory holds one listing a level.
  names.clear();
  for (const std::string& name : subfolders) {
    if (listener_.Stop_Requested()) return;
    std::unique_ptr<Folder> subfolder;
    try {
      subfolder = folder.Open_Subfolder(name);
    } catch (const Check_Error& error) {
      Fail(error.Path(), error.Kind(), "cannot open the folder: " + error.Reason(), error.Error_Number());
      continue;
    }
    Read_Folder(*subfolder);
  }
}

void Scrub::Read_File(Folder& folder, const std::string& name, const std::vector<std::string>& recent) {
  const auto handle = static_cast<int>(folder.Native_Handle());
  const std::string path = folder.Path_Of(name);
  if (std::binary_search(recent.begin(), recent.end(), name)) {
    if (const auto size = Regular_File_Size(handle, name)) {
      ++result_.progress.files_skipped;
      result_.progress.bytes_skipped += *size;
    }
    return;
  }
  std::optional<Whole_File_Read> read;
  try {
    read = Read_Whole_File(handle, name, path, buffer_, [&](std::uint64_t bytes) {
      result_.progress.bytes_read += bytes;
      result_.progress.elapsed = std::chrono::steady_clock::now() - started_;
      listener_.Progress(result_.progress);
      return !listener_.Stop_Requested();
    });
  } catch (const Check_Error& error) {
    if (!listener_.Stop_Requested()) Fail(path, error.Kind(), error.Reason(), error.Error_Number());
    return;
  }
  if (!read) return;
  ++result_.progress.files_read;
  if (!read->steady) {
    ++result_.tally.files_unsteady;
  } else {
    pending_.push_back({path, catalogue_.Check(path, read->stamp, std::move(read->chunk_sums))});
  }
  Take_Findings(pending_.size() >= Most_Pending);
}

// Takes the catalogue's findings that are in, in the order asked; all of
// them when `wait`.
void Scrub::Take_Findings(bool wait) {
  while (!pending_.empty()) {
    Pending& next = pending_.front();
    if (!wait && next.finding.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    const Catalogue_Finding finding = next.finding.get();
    switch (finding.outcome) {
      case Catalogue_Outcome::New: ++result_.tally.files_new; break;
      case Catalogue_Outcome::Verified: ++result_.tally.files_verified; break;
      case Catalogue_Outcome::Recatalogued: ++result_.tally.files_recatalogued; break;
      case Catalogue_Outcome::Silent_Change:
        Fail(next.path, Failure_Kind::Silent_Change, Silent_Change_Reason(finding.changed_at));
        break;
      case Catalogue_Outcome::Not_Kept: break;
    }
    pending_.pop_front();
  }
}

void Scrub::Fail(const std::string& path, Failure_Kind kind, const std::string& reason, int error_number) {
  const Failure_Entry entry{std::chrono::system_clock::now(), path, kind, reason, error_number};
  ++(Class_Of(kind) == Failure_Class::Drive_Fault ? result_.tally.drive_faults : result_.tally.not_checked);
  if (result_.failures.size() < Run_Record::Failures_Kept) result_.failures.push_back(entry);
  listener_.Failed(entry);
}

int Scrub_Exit_Status(const Scrub_Result& result) {
  if (!result.cannot_check.empty()) return 2;
  return result.tally.drive_faults > 0 ? 1 : 0;
}

}  // namespace palvimo
