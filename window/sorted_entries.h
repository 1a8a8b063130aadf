#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace palvimo {

// The names of every entry a folder's collection yields, in name order:
// letters compare regardless of case, and names that differ only in case in
// byte order. Throws Check_Error when the enumeration fails.
std::vector<std::string> Sorted_Names(Entry_Cursor& cursor);

// The last part of a full path: the file's or folder's own name.
std::string_view Entry_Name(std::string_view path);

}  // namespace palvimo
