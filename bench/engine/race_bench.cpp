#include "race_bench.h"

#include <sys/xattr.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/check_error.h"
#include "platform/io_worker.h"
#include "platform/runtime.h"
#include "quiet_services.h"

namespace palvimo::bench {

namespace {

namespace fs = std::filesystem;

constexpr char Copy_Name[] = "source.txt.PVF";

bool Holds_Probe_Copy(const fs::path& path) {
  return getxattr(path.c_str(), "user.palvimo.probe", nullptr, 0) >= 0;
}

// Moves every user's file found at the copy's name, or left at a private name
// by a move back that could not be made, out of the way into `kept`.
void Keep_Users_Files(const fs::path& folder, const fs::path& kept, long& kept_count) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const bool at_copy_name = name == Copy_Name || name.rfind(".palvimo-removing-", 0) == 0;
    if (!at_copy_name || Holds_Probe_Copy(entry.path())) continue;
    fs::rename(entry.path(), kept / ("user-" + std::to_string(kept_count++)));
  }
}

}  // namespace

Race_Figures Run_Rename_Race(const fs::path& folder, int rounds) {
  fs::remove_all(folder);
  const fs::path kept = folder / "kept";
  fs::create_directories(kept);
  std::ofstream(folder / "source.txt") << "the probed file";
  const fs::path copy = folder / Copy_Name;
  // The racer knows the probe's copy by its mark.
  if (setxattr((folder / "source.txt").c_str(), "user.palvimo.test", "1", 1, 0) != 0) {
    throw std::runtime_error("the race needs a file system with extended attributes");
  }

  std::atomic<bool> done{false};
  std::atomic<long> placed{0};
  std::thread racer([&] {
    for (long n = 0; !done.load();) {
      if (!Holds_Probe_Copy(copy)) continue;
      const fs::path users = folder / ("incoming-" + std::to_string(n));
      std::ofstream(users) << "user's file " << n;
      if (std::rename(users.c_str(), copy.c_str()) == 0) {
        ++placed;
        ++n;
      }
    }
  });

  No_Op_Event_Pump events;
  Io_Worker worker(events);
  const auto copier = Make_Probe_Copier(worker);
  const auto files = Make_Local_File_System();
  const auto opened = files->Open_Folder(folder.string());
  long kept_count = 0;
  for (int round = 0; round < rounds; ++round) {
    try {
      copier->Copy_File(*opened, "source.txt", Copy_Name);
    } catch (const Check_Error&) {
      // The name is taken by a user's file: it is kept below.
    }
    try {
      copier->Delete_Copy();
    } catch (const Check_Error&) {
      // A user's file took the copy's place; it stays, and is kept below.
    }
    Keep_Users_Files(folder, kept, kept_count);
    if ((round + 1) % 5000 == 0) std::clog << "  race: " << round + 1 << " rounds\n";
  }
  done = true;
  racer.join();
  Keep_Users_Files(folder, kept, kept_count);
  // A racer's file not yet renamed is no user's file lost.
  return {rounds, placed.load(), placed.load() - kept_count};
}

}  // namespace palvimo::bench
