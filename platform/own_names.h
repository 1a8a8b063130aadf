#pragma once

#include <string_view>

namespace palvimo {

// Every name this program gives a file other than a copy's own name begins
// with one of these prefixes: a copy still being made (where the file system
// cannot make it unnamed), a file set aside to be checked before it is
// removed, and the files that try the volume. A file left at such a name by an interrupted run is found again
// by the walk, which never probes it.
inline constexpr std::string_view Creating_Prefix = ".palvimo-creating-";
inline constexpr std::string_view Removing_Prefix = ".palvimo-removing-";
// The files with which a run finds out what its volume offers.
inline constexpr std::string_view Checking_Prefix = ".palvimo-checking-";

// A file of someone else's found at a copy's name and set aside, that cannot
// go back to its name because yet another file has taken it, is given the
// name followed by this and a number: a name the user sees, never a hidden
// one.
inline constexpr std::string_view Restored_Infix = ".palvimo-restored-";

// True for a name this program gives only to its own files.
inline bool Is_Private_Name(std::string_view name) {
  return name.starts_with(Creating_Prefix) || name.starts_with(Removing_Prefix) ||
         name.starts_with(Checking_Prefix);
}

}  // namespace palvimo
