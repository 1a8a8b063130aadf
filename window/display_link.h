#pragma once

namespace palvimo {

// Whether the connection to the display has broken (an X server gone). Qt
// ends the program with status 1 at its next look at such a connection; the
// window asks first, so that a probe under way can still delete its copy.
// False where this cannot be told.
bool Display_Lost();

}  // namespace palvimo
