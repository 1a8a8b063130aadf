#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <future>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/run_record.h"
#include "platform/file_system.h"
#include "platform/interface.h"

namespace palvimo {

// How far a scrub has gone. The totals are those of the first listing;
// files skipped as recently verified count as neither read nor to read.
struct Scrub_Progress {
  std::uint64_t files_total = 0;
  std::uint64_t bytes_total = 0;
  std::uint64_t files_skipped = 0;
  std::uint64_t bytes_skipped = 0;
  std::uint64_t files_read = 0;
  std::uint64_t bytes_read = 0;
  std::chrono::steady_clock::duration elapsed{};
};

// What a scrub found, file by file.
struct Scrub_Tally {
  std::uint64_t files_new = 0;
  std::uint64_t files_verified = 0;
  std::uint64_t files_recatalogued = 0;
  // Changed by another program while read: neither verified nor catalogued.
  std::uint64_t files_unsteady = 0;
  std::uint64_t drive_faults = 0;
  std::uint64_t not_checked = 0;
};

// The end of a scrub.
struct Scrub_Result {
  Scrub_Progress progress;
  Scrub_Tally tally;
  // The first Run_Record::Failures_Kept failures, in the order found.
  std::vector<Failure_Entry> failures;
  bool stopped = false;
  // Why the folder could not be scrubbed at all; empty when it could.
  std::string cannot_check;
};

// What a scrub tells its front end as it goes, on the scrub's thread.
class Scrub_Listener : public Interface {
 public:
  // The listing is done (Progress says the totals), or more was read; often.
  virtual void Progress(const Scrub_Progress& progress) = 0;
  // A file could not be read, or the drive changed it.
  virtual void Failed(const Failure_Entry& failure) = 0;
  // True once the scrub is to stop; asked between reads.
  virtual bool Stop_Requested() = 0;
};

// Reads every regular file of a folder tree once, folder by folder, and
// compares each with the volume's catalogue, catalogues what is new and
// tells read errors and silent changes. It copies nothing and writes
// nothing on the drive. Files verified within the recent window are skipped
// unless every file is asked for, so that a scrub cut short goes on where
// it stopped.
class Scrub {
 public:
  static constexpr std::size_t Buffer_Size = std::size_t{4} << 20;

  struct Settings {
    bool all = false;  // skip nothing
    std::chrono::seconds recent = std::chrono::hours(24);
  };

  Scrub(File_System& files, Catalogue& catalogue, Settings settings, Scrub_Listener& listener);

  // Scrubs the folder at the full path `root` and its subfolders on the same
  // file system.
  Scrub_Result Run(const std::string& root);

 private:
  void List(Folder& folder);
  void Read_Folder(Folder& folder);
  void Read_File(Folder& folder, const std::string& name, const std::vector<std::string>& recent);
  void Take_Findings(bool wait);
  void Fail(const std::string& path, Failure_Kind kind, const std::string& reason, int error_number = 0);

  struct Pending {
    std::string path;
    std::future<Catalogue_Finding> finding;
  };

  File_System& files_;
  Catalogue& catalogue_;
  Settings settings_;
  Scrub_Listener& listener_;
  std::vector<std::byte> buffer_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::system_clock::time_point recent_since_;
  std::deque<Pending> pending_;
  Scrub_Result result_;
};

// The exit status of a scrub, as of a run: 0 when the drive showed no fault,
// 1 when it did, 2 when the folder could not be scrubbed.
int Scrub_Exit_Status(const Scrub_Result& result);

}  // namespace palvimo
