#pragma once

#include <QString>
#include <string_view>

namespace palvimo {

// A path, name or caption of the check as the window shows it. Names that
// are not valid UTF-8 still show, with their odd bytes replaced.
inline QString Display_Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace palvimo
