#include "platform/file_calls.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>

#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace palvimo {

namespace {

int System_Open_At(int folder_fd, const char* name, int flags, mode_t mode) {
  return openat(folder_fd, name, flags, mode);
}

int System_Rename_At(int from_fd, const char* from, int to_fd, const char* to, unsigned flags) {
#ifdef __linux__
  return renameat2(from_fd, from, to_fd, to, flags);
#else
  if (flags != 0) {
    errno = EINVAL;
    return -1;
  }
  return renameat(from_fd, from, to_fd, to);
#endif
}

int System_Set_Attribute([[maybe_unused]] int fd, [[maybe_unused]] const char* attribute,
                         [[maybe_unused]] const void* value, [[maybe_unused]] std::size_t size,
                         [[maybe_unused]] int flags) {
#ifdef __linux__
  return fsetxattr(fd, attribute, value, size, flags);
#else
  errno = ENOTSUP;
  return -1;
#endif
}

ssize_t System_Get_Attribute([[maybe_unused]] int fd, [[maybe_unused]] const char* attribute,
                             [[maybe_unused]] void* value, [[maybe_unused]] std::size_t size) {
#ifdef __linux__
  return fgetxattr(fd, attribute, value, size);
#else
  errno = ENOTSUP;
  return -1;
#endif
}

int System_Lock(int fd, int command, struct flock* lock) { return fcntl(fd, command, lock); }

long System_Longest_Name(int folder_fd) { return fpathconf(folder_fd, _PC_NAME_MAX); }

int System_Set_Times(int fd, const struct timespec times[2]) { return futimens(fd, times); }

const File_Calls System_Calls = {
    System_Open_At, linkat, System_Rename_At, unlinkat, fchmod, System_Set_Attribute, System_Get_Attribute,
    System_Lock,    fstat,  fstatat,          fstatvfs, write,  System_Set_Times,     System_Longest_Name,
};

std::atomic<const File_Calls*> Current{&System_Calls};

}  // namespace

const File_Calls& System_File_Calls() { return System_Calls; }

const File_Calls& Calls() { return *Current.load(std::memory_order_acquire); }

void Set_File_Calls(const File_Calls* calls) {
  Current.store(calls ? calls : &System_Calls, std::memory_order_release);
}

}  // namespace palvimo
