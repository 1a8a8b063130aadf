#include "platform/check_error.h"

#include <system_error>

namespace palvimo {

Check_Error Error_From_Errno(const std::string& path, int error_number) {
  // The system category's message is the thread-safe form of strerror.
  return Check_Error(path, std::system_category().message(error_number));
}

Check_Error Error_From_Errno(const std::string& path, const char* action, int error_number, Failure_Kind kind) {
  return Check_Error(path, std::string(action) + ": " + std::system_category().message(error_number), kind);
}

}  // namespace palvimo
