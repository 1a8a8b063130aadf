#pragma once

#include <stdexcept>
#include <string>

namespace palvimo {

// What a failing platform operation raises: the path it was working on and the
// system's reason. The walk's folder guard, the probe and the run control catch
// it where the check's error rules say; nothing else does.
class Check_Error : public std::runtime_error {
 public:
  Check_Error(const std::string& path, const std::string& reason)
      : std::runtime_error(reason + ": " + path), path_(path), reason_(reason) {}

  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

// Builds a Check_Error from an errno value.
Check_Error Error_From_Errno(const std::string& path, int error_number);
// The same, with the reason led by the action that failed, short enough for
// a status line: "cannot read: Input/output error".
Check_Error Error_From_Errno(const std::string& path, const char* action, int error_number);

}  // namespace palvimo
