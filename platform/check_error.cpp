#include "platform/check_error.h"

#include <cerrno>
#include <system_error>

namespace palvimo {

Failure_Kind Kind_Of_Error(int error_number, Failure_Kind step_kind) {
  switch (error_number) {
    // What the drive, its link or the file system's own structures did.
    case EIO:
    case ENXIO:
    case ENODEV:
#ifdef EBADMSG
    case EBADMSG:
#endif
#ifdef EUCLEAN
    case EUCLEAN:
#endif
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
#ifdef EREMOTEIO
    case EREMOTEIO:
#endif
      return step_kind;
    case EACCES:
    case EPERM:
      return Failure_Kind::Permission_Denied;
    case ENOENT:
    case ESTALE:
      return Failure_Kind::Vanished;
    case EEXIST:
      return Failure_Kind::Name_Taken;
    case ENAMETOOLONG:
      return Failure_Kind::Name_Too_Long;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return Failure_Kind::No_Space;
    case ENOSYS:
    case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
    case EOPNOTSUPP:
#endif
      return Failure_Kind::Not_Offered;
    default:
      // A flush that fails leaves the copy's lasting in doubt: a volume the
      // kernel made read-only after an error says EROFS or EINVAL there, and
      // a file system without flushes was let through before it came here.
      return step_kind == Failure_Kind::Flush ? step_kind : Failure_Kind::Other;
  }
}

Check_Error Error_From_Errno(const std::string& path, int error_number) {
  // The system category's message is the thread-safe form of strerror.
  return Check_Error(path, std::system_category().message(error_number), Kind_Of_Error(error_number, Failure_Kind::Other),
                     error_number);
}

Check_Error Error_From_Errno(const std::string& path, const char* action, int error_number, Failure_Kind step_kind) {
  return Check_Error(path, std::string(action) + ": " + std::system_category().message(error_number),
                     Kind_Of_Error(error_number, step_kind), error_number);
}

}  // namespace palvimo
