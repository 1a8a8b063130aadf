#pragma once

#include <filesystem>

namespace palvimo::bench {

// The longest stretch, in milliseconds, without the window kept alive during
// one whole probe of `file` (copy, flush, read-back, pause 0, delete);
// median of 3.
double Probe_Unserviced_Ms(const std::filesystem::path& file);

// Milliseconds from an end request until the probe of `file` has returned
// with its copy removed: the longer of an end 30 % into the copy's write and
// one 30 % into its read-back.
double End_During_Copy_Ms(const std::filesystem::path& file);

// CPU time used by 5 s of passes over the empty folder `root`, as a
// percentage of one core, with a window that has no events to handle.
double Empty_Root_Cpu_Percent(const std::filesystem::path& root);

}  // namespace palvimo::bench
