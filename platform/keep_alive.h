#pragma once

#include <chrono>

namespace palvimo {

// How often a long copy or pause lets the window repaint: often enough that
// it never looks hung, rarely enough to cost nothing beside the work.
inline constexpr std::chrono::milliseconds Keep_Alive_Interval{50};

}  // namespace palvimo
