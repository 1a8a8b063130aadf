#pragma once

#include <cstdint>
#include <string_view>

namespace palvimo {

// A 64-bit fingerprint of a path, for counting distinct files without
// keeping their names: two different paths share one with a chance of about
// one in 2^64.
std::uint64_t Path_Hash(std::string_view path);

// The fingerprint of the entry `name` of the folder whose path has the
// fingerprint `folder_hash`, without the entry's path ever being built: the
// walk takes one for every file it lists. It is not Path_Hash of the joined
// path, so the two are never mixed in one count.
std::uint64_t Entry_Hash(std::uint64_t folder_hash, std::string_view name);

}  // namespace palvimo
