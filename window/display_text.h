#pragma once

#include <QString>
#include <string_view>

#include "platform/escaped_text.h"

namespace palvimo {

// A path, name or caption of the check as the window shows it: on one line,
// with control characters and bytes that are not valid UTF-8 escaped
// (Escaped_Text), so that no name can forge a line or hide what it is.
inline QString Display_Text(std::string_view text) { return QString::fromStdString(Escaped_Text(text)); }

}  // namespace palvimo
