#pragma once

#include <chrono>

namespace palvimo {

// How often a copy, a pause or a wait for the drive lets the window answer:
// often enough that an end request takes effect at once and the window never
// looks hung, rarely enough to cost nothing beside the work.
inline constexpr std::chrono::milliseconds Keep_Alive_Interval{20};

}  // namespace palvimo
