#include "engine/extension_rule.h"

namespace palvimo {

std::optional<std::string> Extension_Problem(std::string_view extension) {
  if (extension.empty()) return "The extension is empty: a copy would take the name of its own file.";
  if (extension.find('/') != std::string_view::npos) return "The extension must not contain '/'.";
  if (extension.find('\0') != std::string_view::npos) return "The extension must not contain a NUL character.";
  return std::nullopt;
}

}  // namespace palvimo
