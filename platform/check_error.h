#pragma once

#include <stdexcept>
#include <string>

namespace palvimo {

// What failed in a probe. The first kinds are the drive's own doing (an
// I/O error at a step of the probe, data that comes back different); the
// rest say why a file could not be checked at all, which is no fault of the
// drive's. Other is what is neither: a bad extension, a window call, an
// error no rule names.
enum class Failure_Kind {
  // The drive's faults.
  Read,           // an I/O error reading the file
  Write,          // an I/O error writing the copy, or a write that took nothing
  Flush,          // an I/O error making the copy lasting
  Read_Back,      // an I/O error reading the copy back
  Data_Changed,   // the copy read back differs, or the file ended early
  Silent_Change,  // the file's content changed while its size and times did not
  Delete,         // an I/O error removing the copy
  // The drive reallocated sectors, or failed its own assessment, while it
  // was checked: found once, at the run's end, from its SMART figures.
  Sectors_Reallocated,
  // Not checked.
  Permission_Denied,
  Vanished,       // the file, or the copy, was removed or replaced meanwhile
  Name_Taken,     // the copy's name holds a file that is not this run's copy
  Name_Too_Long,  // the copy's name is longer than the file system takes
  No_Space,
  Not_Offered,    // the file system does not offer an operation the probe needs
  Other,
};

// What failing platform operations raise: the path worked on, the system's
// reason, the kind of failure and the system's error number (0 when the
// failure came from no system call). The walk's folder guard, the probe and
// the run control catch it where the check's error rules say; nothing else
// does.
class Check_Error : public std::runtime_error {
 public:
  Check_Error(const std::string& path, const std::string& reason, Failure_Kind kind = Failure_Kind::Other,
              int error_number = 0)
      : std::runtime_error(reason + ": " + path), path_(path), reason_(reason), kind_(kind),
        error_number_(error_number) {}

  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }
  Failure_Kind Kind() const { return kind_; }
  int Error_Number() const { return error_number_; }
  // The same failure with another kind, as a caller that knows the step
  // better sees it.
  Check_Error With_Kind(Failure_Kind kind) const { return Check_Error(path_, reason_, kind, error_number_); }

 private:
  std::string path_;
  std::string reason_;
  Failure_Kind kind_;
  int error_number_;
};

// Raised for a file that lies on another file system than its folder, such
// as a file mounted there from another drive: no part of the drive under
// check, it is left alone rather than probed, and is no fault of the drive.
class Not_On_Drive : public Check_Error {
 public:
  explicit Not_On_Drive(const std::string& path) : Check_Error(path, "on another file system") {}
};

// The kind of a failure with the system's `error_number` at a step whose
// drive fault is `step_kind`: the step's kind for an I/O error and its kin
// (what the drive did), the not-checked kind the error names otherwise
// (permission denied, no such file, name too long...). At the flush, any
// error but a lack of room is the step's.
Failure_Kind Kind_Of_Error(int error_number, Failure_Kind step_kind);

// Builds a Check_Error from an errno value.
Check_Error Error_From_Errno(const std::string& path, int error_number);
// The same, with the reason led by the action that failed, short enough for
// a status line: "cannot read: Input/output error". Its kind is
// Kind_Of_Error(error_number, step_kind).
Check_Error Error_From_Errno(const std::string& path, const char* action, int error_number,
                             Failure_Kind step_kind = Failure_Kind::Other);

}  // namespace palvimo
