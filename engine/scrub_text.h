#pragma once

#include <cstdint>
#include <string>

#include "engine/scrub.h"

namespace palvimo {

// The figures of a scrub under way, as every front end shows them: bytes
// read of those to read, the speed, the time left once a speed is known,
// and the drive's faults so far. "1.2 GB of 40 GB  95 MB/s  7 min 01 s left
// 0 faults".
std::string Scrub_Progress_Text(const Scrub_Progress& progress, std::uint64_t faults);

// What a scrub found of the drive, one sentence: "No faults found." or
// "2 faults, 1 file not checked.".
std::string Scrub_Verdict_Text(const Scrub_Result& result);

// The scrub's one-line summary, ending with its Scrub_Verdict_Text: "Read
// 1,234 files (5.6 MB): 1,200 as catalogued, 30 new, 4 edited. No faults
// found.", "Stopped: read ..." for a scrub that was stopped. For a folder
// that could be scrubbed; one that could not says its cannot_check.
std::string Scrub_Summary_Text(const Scrub_Result& result);

}  // namespace palvimo
