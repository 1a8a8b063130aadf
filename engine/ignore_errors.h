#pragma once

#include <exception>
#include <optional>
#include <string>

#include "platform/check_error.h"

namespace palvimo {

// Runs the actions of one probe in the probe's ignore-errors mode: a failing
// action is skipped and the probe goes on with the next one. The first
// failure is kept, so that the user can be told why the probe failed.
// Program_End is not a std::exception and passes through.
class Ignore_Errors {
 public:
  template <typename Action>
  void operator()(Action&& action) {
    try {
      action();
    } catch (const Check_Error& error) {
      Keep(error.Reason());
    } catch (const std::exception& error) {
      Keep(error.what());
    }
  }

  // Why the first failing action failed; nothing when none did.
  const std::optional<std::string>& First_Failure() const { return first_failure_; }

 private:
  void Keep(const std::string& reason) {
    if (!first_failure_) first_failure_ = reason;
  }

  std::optional<std::string> first_failure_;
};

}  // namespace palvimo
