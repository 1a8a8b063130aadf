#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace palvimo {

// Reads Delay_Text as whole milliseconds: optional surrounding blanks, an
// optional sign, digits and an optional fraction after '.', rounded to the
// nearest whole number with a half going to the even one. Nothing (no pause)
// for any other text, a negative value or one beyond the signed 32-bit range.
std::optional<std::uint32_t> Parse_Delay(std::string_view text);

}  // namespace palvimo
