#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace palvimo::testing {

// `size` bytes that no file system can compress or deduplicate, the same for
// the same size.
inline std::string Random_Content(std::size_t size) {
  std::mt19937 generator(static_cast<unsigned>(size));
  std::string content(size, '\0');
  for (auto& byte : content) byte = static_cast<char>(generator());
  return content;
}

}  // namespace palvimo::testing
