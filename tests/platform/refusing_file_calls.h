#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file_calls.h"

namespace palvimo::testing {

// What a file system refuses, as FAT, exFAT, NTFS and FUSE drivers do.
struct Refusals {
  std::string name;
  bool no_unnamed_files = false;
  bool no_links = false;
  int link_error = EPERM;  // EROFS where a FUSE driver leaves `link` out
  bool no_no_replace = false;
  bool no_marks = false;
  bool no_locks = false;
  bool mode_not_implemented = false;
  bool unstable_inodes = false;
  bool no_writes_unnamed = false;
  bool no_size = false;
  bool no_creates = false;  // a folder the user cannot write in
};

// The system's calls, refusing what `Active_Refusals()` says: set them with
// Set_File_Calls(&Refusing_File_Calls()) and restore with nullptr.
inline Refusals& Active_Refusals() {
  static Refusals refusals;
  return refusals;
}

namespace refusing {

inline int Fail(int error) {
  errno = error;
  return -1;
}

inline int Open_At(int folder_fd, const char* name, int flags, mode_t mode) {
  const Refusals& r = Active_Refusals();
  if (r.no_unnamed_files && (flags & O_TMPFILE) == O_TMPFILE) return Fail(EOPNOTSUPP);
  if (r.no_creates && (flags & (O_CREAT | O_TMPFILE)) != 0) return Fail(EACCES);
  return System_File_Calls().open_at(folder_fd, name, flags, mode);
}
// The program names what it moves or links to by a name in a folder it
// holds, never by a path: one with a slash would reach past the volume
// under test (a path read back from the journal, say), so it fails as it
// would on a drive mounted elsewhere.
inline bool Leaves_Folder(const char* name) { return std::strchr(name, '/') != nullptr; }

inline int Link_At(int from_fd, const char* from, int to_fd, const char* to, int flags) {
  if (Leaves_Folder(to)) return Fail(EXDEV);
  if (Active_Refusals().no_links) return Fail(Active_Refusals().link_error);
  return System_File_Calls().link_at(from_fd, from, to_fd, to, flags);
}
inline int Rename_At(int from_fd, const char* from, int to_fd, const char* to, unsigned flags) {
  if (Leaves_Folder(from) || Leaves_Folder(to)) return Fail(EXDEV);
  if (flags != 0 && Active_Refusals().no_no_replace) return Fail(EINVAL);
  return System_File_Calls().rename_at(from_fd, from, to_fd, to, flags);
}
inline int Change_Mode(int fd, mode_t mode) {
  if (Active_Refusals().mode_not_implemented) return Fail(ENOSYS);
  return System_File_Calls().change_mode(fd, mode);
}
inline int Set_Attribute(int fd, const char* attribute, const void* value, std::size_t size, int flags) {
  if (Active_Refusals().no_marks) return Fail(ENOTSUP);
  return System_File_Calls().set_attribute(fd, attribute, value, size, flags);
}
inline ssize_t Get_Attribute(int fd, const char* attribute, void* value, std::size_t size) {
  if (Active_Refusals().no_marks) return Fail(ENOTSUP);
  return System_File_Calls().get_attribute(fd, attribute, value, size);
}
inline int Lock(int fd, int command, struct flock* lock) {
  if (Active_Refusals().no_locks) return Fail(EINVAL);
  return System_File_Calls().lock(fd, command, lock);
}
// Without stable inode numbers a descriptor reports another number than
// the file's name does, as a high-level FUSE driver without use_ino may.
inline int Status(int fd, struct stat* status) {
  const int result = System_File_Calls().status(fd, status);
  if (result == 0 && Active_Refusals().unstable_inodes) status->st_ino += 1000003;
  return result;
}
inline int Volume_Status(int fd, struct statvfs* status) {
  const int result = System_File_Calls().volume_status(fd, status);
  if (result == 0 && Active_Refusals().no_size) status->f_blocks = status->f_bfree = status->f_bavail = 0;
  return result;
}
inline ssize_t Write(int fd, const void* data, std::size_t size) {
  struct stat status {};
  if (Active_Refusals().no_writes_unnamed && fstat(fd, &status) == 0 && status.st_nlink == 0) return Fail(ENOENT);
  return System_File_Calls().write(fd, data, size);
}

}  // namespace refusing

inline const File_Calls& Refusing_File_Calls() {
  static const File_Calls calls = {
      refusing::Open_At,       refusing::Link_At,
      refusing::Rename_At,     System_File_Calls().unlink_at,
      refusing::Change_Mode,   refusing::Set_Attribute,
      refusing::Get_Attribute, refusing::Lock,
      refusing::Status,        System_File_Calls().status_at,
      refusing::Volume_Status, refusing::Write,
      System_File_Calls().set_times, System_File_Calls().longest_name,
  };
  return calls;
}

}  // namespace palvimo::testing
