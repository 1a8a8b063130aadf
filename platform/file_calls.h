#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdio>

namespace palvimo {

// The system calls with which this program makes, marks, moves and removes
// its copies, and learns what a volume offers. Tests put in their place
// calls that refuse as a given file system does; everything else always
// calls the system. Each has the system call's contract: a result of -1
// with errno set on failure.
struct File_Calls {
  int (*open_at)(int folder_fd, const char* name, int flags, mode_t mode);
  int (*link_at)(int from_fd, const char* from, int to_fd, const char* to, int flags);
  // renameat2(2); `flags` 0 is a plain rename.
  int (*rename_at)(int from_fd, const char* from, int to_fd, const char* to, unsigned flags);
  int (*unlink_at)(int folder_fd, const char* name, int flags);
  int (*change_mode)(int fd, mode_t mode);
  int (*set_attribute)(int fd, const char* attribute, const void* value, std::size_t size, int flags);
  ssize_t (*get_attribute)(int fd, const char* attribute, void* value, std::size_t size);
  // fcntl(2) with a lock command (F_OFD_SETLK, F_OFD_GETLK).
  int (*lock)(int fd, int command, struct flock* lock);
  int (*status)(int fd, struct stat* status);
  int (*status_at)(int folder_fd, const char* name, struct stat* status, int flags);
  int (*volume_status)(int fd, struct statvfs* status);
  ssize_t (*write)(int fd, const void* data, std::size_t size);
  int (*set_times)(int fd, const struct timespec times[2]);
  // fpathconf(2) with _PC_NAME_MAX.
  long (*longest_name)(int folder_fd);
};

// The flag of rename_at that refuses to replace a file.
#ifdef RENAME_NOREPLACE
inline constexpr unsigned Rename_No_Replace = RENAME_NOREPLACE;
#else
inline constexpr unsigned Rename_No_Replace = 1;
#endif

// The system's own calls.
const File_Calls& System_File_Calls();

// The calls in use: the system's, unless a test has set others.
const File_Calls& Calls();

// Uses `calls` from now on, or the system's again for nullptr; `calls` must
// outlive its use. For tests, while no copy is being made.
void Set_File_Calls(const File_Calls* calls);

}  // namespace palvimo
