#pragma once

#include <string>
#include <string_view>

namespace palvimo {

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool Is_Valid_Utf8(std::string_view text);

// A file name or path made safe to print on one line of a terminal or a log:
// valid UTF-8 stays as it is, except that control characters are written as
// C escapes ("\n", "\t", "\x1b"...) and a backslash as "\\"; every byte that
// is not part of valid UTF-8 is written as "\xHH". No name can then forge a
// line or reach the terminal as a command.
std::string Escaped_Text(std::string_view text);

}  // namespace palvimo
