#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace palvimo {

// Why the extension cannot make a probe copy's name, or nothing when it can.
// The copy must be a sibling of its file with a different name: an empty
// extension would name the file itself, a '/' or NUL would leave the folder
// or cut the name short, and one as long as a file name may be leaves no room
// for the file's own name.
std::optional<std::string> Extension_Problem(std::string_view extension);

}  // namespace palvimo
