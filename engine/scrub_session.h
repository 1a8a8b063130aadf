#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_record.h"
#include "engine/scrub.h"
#include "platform/file_system.h"

namespace palvimo {

// A scrub on a thread of its own, for a front end that must never wait on
// the drive: it takes what the scrub found when it likes, and lets the
// scrub go when it no longer cares.
class Scrub_Session {
 public:
  // What came since the last Take_News.
  struct News {
    // The figures as they are now, and the drive's faults so far.
    Scrub_Progress progress;
    std::uint64_t drive_faults = 0;
    // The failures found since, in the order found.
    std::vector<Failure_Entry> failures;
    // Once the scrub is over, and then for good.
    std::optional<Scrub_Result> result;
    // With the result: why the catalogue could not be kept, if it could not.
    std::optional<std::string> catalogue_problem;
  };

  // Starts scrubbing the folder at the full path `root` through `files`,
  // against the volume's catalogue kept in `catalogue_folder`.
  Scrub_Session(std::shared_ptr<File_System> files, std::string catalogue_folder, std::string root,
                Scrub::Settings settings);
  // Asks the scrub to stop and lets it go without waiting for it.
  ~Scrub_Session();
  Scrub_Session(const Scrub_Session&) = delete;
  Scrub_Session& operator=(const Scrub_Session&) = delete;

  // Asks the scrub to stop; it ends after the read under way.
  void Stop();
  // What the scrub found since the last call; from any thread.
  News Take_News();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace palvimo
