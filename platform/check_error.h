#pragma once

#include <stdexcept>
#include <string>

namespace palvimo {

// What failed in a probe, by the work on the drive that failed; Other for
// everything that is not the drive's work (a bad extension, a window call).
enum class Failure_Kind { Read, Write, Flush, No_Space, Data_Changed, Name_Taken, Delete, Other };

// What a failing platform operation raises: the path it was working on and the
// system's reason. The walk's folder guard, the probe and the run control catch
// it where the check's error rules say; nothing else does.
class Check_Error : public std::runtime_error {
 public:
  Check_Error(const std::string& path, const std::string& reason, Failure_Kind kind = Failure_Kind::Other)
      : std::runtime_error(reason + ": " + path), path_(path), reason_(reason), kind_(kind) {}

  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }
  Failure_Kind Kind() const { return kind_; }

 private:
  std::string path_;
  std::string reason_;
  Failure_Kind kind_;
};

// Raised for a file that lies on another file system than its folder, such
// as a file mounted there from another drive: no part of the drive under
// check, it is left alone rather than probed, and is no fault of the drive.
class Not_On_Drive : public Check_Error {
 public:
  explicit Not_On_Drive(const std::string& path) : Check_Error(path, "on another file system") {}
};

// Builds a Check_Error from an errno value.
Check_Error Error_From_Errno(const std::string& path, int error_number);
// The same, with the reason led by the action that failed, short enough for
// a status line: "cannot read: Input/output error".
Check_Error Error_From_Errno(const std::string& path, const char* action, int error_number,
                             Failure_Kind kind = Failure_Kind::Other);

}  // namespace palvimo
