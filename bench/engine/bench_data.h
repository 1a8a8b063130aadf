#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

namespace palvimo::bench {

// The benchmark's data is made once under the data folder and reused by later
// runs; nothing is ever written outside it.

// `count` files of `size` random (incompressible) bytes in `folder`, flushed
// to the drive so that their writeback cannot disturb later timings. Files
// already there with the right size are kept. Returns their paths.
std::vector<std::filesystem::path> Ensure_Random_Files(const std::filesystem::path& folder,
                                                       int count, std::size_t size);

// `count` empty files, and nothing else, in `folder`; kept when already there.
void Ensure_Empty_Files(const std::filesystem::path& folder, int count);

}  // namespace palvimo::bench
