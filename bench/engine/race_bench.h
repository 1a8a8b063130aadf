#pragma once

#include <filesystem>

namespace palvimo::bench {

struct Race_Figures {
  long Rounds = 0;
  long Placed = 0;  // user's files renamed onto the copy's name by the racer
  long Lost = 0;    // of those, the ones that no longer exist afterwards
};

// Probes one file `rounds` times in `folder` (made afresh) while another
// thread keeps renaming a user's file onto the copy's name whenever the
// probe's own copy is there, at whatever moment that falls in the probe, and
// counts the user's files the probes' deletes took with them.
Race_Figures Run_Rename_Race(const std::filesystem::path& folder, int rounds);

}  // namespace palvimo::bench
