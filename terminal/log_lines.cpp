#include "terminal/log_lines.h"

#include <utility>

namespace palvimo {

Log_Lines::Log_Lines(Line_Handler handler) : handler_(std::move(handler)) {}

Log_Lines::int_type Log_Lines::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char character = traits_type::to_char_type(c);
  xsputn(&character, 1);
  return c;
}

std::streamsize Log_Lines::xsputn(const char* text, std::streamsize count) {
  for (std::streamsize at = 0; at < count; ++at) {
    if (text[at] == '\n') {
      handler_(std::exchange(line_, {}));
    } else {
      line_ += text[at];
    }
  }
  return count;
}

}  // namespace palvimo
