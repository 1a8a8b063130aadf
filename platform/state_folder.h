#pragma once

#include <string>

namespace palvimo {

// This program's folder of the user's state, which is never on a drive
// under check: $XDG_STATE_HOME/palvimo, by default ~/.local/state/palvimo.
// Empty when neither variable is set.
std::string State_Folder();

}  // namespace palvimo
