#include "platform/path_hash.h"

#include <xxhash.h>

namespace palvimo {

std::uint64_t Path_Hash(std::string_view path) { return XXH3_64bits(path.data(), path.size()); }

std::uint64_t Entry_Hash(std::uint64_t folder_hash, std::string_view name) {
  return XXH3_64bits_withSeed(name.data(), name.size(), folder_hash);
}

}  // namespace palvimo
