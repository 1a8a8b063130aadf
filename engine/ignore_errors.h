#pragma once

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "platform/check_error.h"

namespace palvimo {

// Why an action of a probe failed.
struct Probe_Failure {
  std::string reason;
  Failure_Kind kind = Failure_Kind::Other;
  int error_number = 0;  // the system's, 0 when none
  std::string path;      // what the failing action worked on: the file, or its copy
};

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
      Keep({error.Reason(), error.Kind(), error.Error_Number(), error.Path()});
    } catch (const std::exception& error) {
      Keep({error.what(), Failure_Kind::Other, 0, {}});
    }
  }

  // Why the first failing action failed; nothing when none did.
  const std::optional<Probe_Failure>& First_Failure() const { return first_failure_; }

 private:
  void Keep(Probe_Failure failure) {
    if (!first_failure_) first_failure_ = std::move(failure);
  }

  std::optional<Probe_Failure> first_failure_;
};

}  // namespace palvimo
