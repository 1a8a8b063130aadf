#include "engine/extension_rule.h"

#include <cstddef>

namespace palvimo {

namespace {

// The longest file name the usual file systems take, in bytes.
constexpr std::size_t Longest_Name = 255;

}  // namespace

std::optional<std::string> Extension_Problem(std::string_view extension) {
  if (extension.empty()) return "The extension is empty: a copy would take the name of its own file.";
  if (extension.find('/') != std::string_view::npos) return "The extension must not contain '/'.";
  if (extension.find('\0') != std::string_view::npos) return "The extension must not contain a NUL character.";
  if (extension.size() >= Longest_Name) return "The extension is too long to make a copy's name.";
  return std::nullopt;
}

}  // namespace palvimo
