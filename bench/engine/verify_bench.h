#pragma once

#include <filesystem>

namespace palvimo::bench {

// Bytes the kernel counted as read from the drive while the probe read its
// copy of `file` back, over the copy's size: near 1 when the read-back
// reaches the drive, near 0 when the page cache answers it.
double Verify_Read_Ratio(const std::filesystem::path& file);

// The median time of `runs` whole verified probes of `file` (copy, flush,
// read-back, pause 0, delete), over the median time of the standard tools
// doing the same work in the same run: cp --reflink=never, sync, the copy
// read past the cache by dd into cmp against the file, and rm. Each starts
// with the file's pages out of the cache, and the two take turns going first.
double Verified_Probe_Vs_Tools(const std::filesystem::path& file, int runs);

}  // namespace palvimo::bench
