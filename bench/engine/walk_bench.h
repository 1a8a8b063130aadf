#pragma once

#include <filesystem>

namespace palvimo::bench {

struct Pass_Timing {
  double Seconds = 0;
  int Files_Picked = 0;
};

// Runs one pass of the check over `folder` through the run control, with the
// probe's file operations and the pause stubbed out, so that what is timed is
// enumerating the folder and drawing a number per entry.
Pass_Timing Time_One_Pass(const std::filesystem::path& folder);

// Time per entry of one pass / time per entry of find listing the folder's
// files, both on a warm cache, each the median of a few runs taken in turns.
double Walk_Vs_Find(const std::filesystem::path& folder, int entries);

}  // namespace palvimo::bench
