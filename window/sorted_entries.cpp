#include "window/sorted_entries.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace palvimo {

namespace {

unsigned char Folded(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool Name_Less(std::string_view a, std::string_view b) {
  // Names mostly share a start letter for letter, case included: skip that
  // part at the speed of a plain comparison before folding case.
  const std::size_t common = std::min(a.size(), b.size());
  std::size_t i = 0;
  while (i < common && a[i] == b[i]) ++i;
  for (; i < common; ++i) {
    const unsigned char x = Folded(a[i]);
    const unsigned char y = Folded(b[i]);
    if (x != y) return x < y;
  }
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

std::vector<std::string> Sorted_Names(Entry_Cursor& cursor) {
  // Names rather than full paths: most are short enough to be held inside
  // the vector itself, which keeps sorting a large folder fast.
  std::vector<std::string> names;
  while (auto name = cursor.Next()) names.push_back(std::move(*name));
  std::sort(names.begin(), names.end(), Name_Less);
  return names;
}

std::string_view Entry_Name(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace palvimo
