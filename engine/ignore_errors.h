#pragma once

#include <exception>

namespace palvimo {

// Runs one action of a probe in the probe's ignore-errors mode: a failing
// action is skipped silently and the probe goes on with the next one.
// Program_End is not a std::exception and passes through.
template <typename Action>
void Ignore_Errors(Action&& action) {
  try {
    action();
  } catch (const std::exception&) {
  }
}

}  // namespace palvimo
