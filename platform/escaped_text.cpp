#include "platform/escaped_text.h"

#include <cstddef>
#include <cstdint>

namespace palvimo {

namespace {

// The length of the valid UTF-8 sequence that starts `text` at `at`, or 0
// when the byte there does not start one.
std::size_t Sequence_Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(at + i) & 0x3Fu);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (overlong || surrogate || code > 0x10FFFF) return 0;
  return length;
}

void Append_Hex(std::string& out, std::uint8_t byte) {
  constexpr char Digits[] = "0123456789abcdef";
  out += "\\x";
  out += Digits[byte >> 4];
  out += Digits[byte & 0x0Fu];
}

}  // namespace

bool Is_Valid_Utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Sequence_Length(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string Escaped_Text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Sequence_Length(text, at);
    const auto byte = static_cast<std::uint8_t>(text[at]);
    if (length > 1) {
      // U+0080 to U+009F are control characters too.
      const bool c1_control = byte == 0xC2 && static_cast<std::uint8_t>(text[at + 1]) < 0xA0;
      if (c1_control) {
        Append_Hex(out, byte);
        Append_Hex(out, static_cast<std::uint8_t>(text[at + 1]));
      } else {
        out.append(text.substr(at, length));
      }
      at += length;
      continue;
    }
    ++at;
    switch (byte) {
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      case '\\': out += "\\\\"; continue;
      default: break;
    }
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      Append_Hex(out, byte);
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace palvimo
