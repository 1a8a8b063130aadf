#include "platform/posix_own_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/check_error.h"

#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace palvimo {

namespace {

// The extended attribute every copy this program makes carries.
[[maybe_unused]] constexpr char Mark_Attribute[] = "user.palvimo.probe";

// A mark this file system or file does not keep is skipped: the copy is
// still made, only unmarked, and a leftover of it is then never removed by
// the walk, which is the safe side.
bool Is_Unsupported(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == EINVAL || error == EROFS;
}

bool Same_File(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

struct stat Status_Of(int fd, const std::string& path) {
  struct stat status {};
  if (fstat(fd, &status) != 0) throw Error_From_Errno(path, "cannot open", errno);
  return status;
}

Unique_Fd Open_At(int folder_fd, const std::string& name, int flags) {
  return Unique_Fd(openat(folder_fd, name.c_str(), flags | O_CLOEXEC));
}

// Moves `from` to `to` in the same folder, never over an existing file.
int Rename_No_Replace(int folder_fd, const std::string& from, const std::string& to) {
#ifdef __linux__
  if (renameat2(folder_fd, from.c_str(), folder_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
  // A file system that cannot refuse to replace: the private name is one no
  // other program uses.
  return renameat(folder_fd, from.c_str(), folder_fd, to.c_str());
}

// A name in the copy's folder that no other file has or is given: this
// process's own, counted.
std::string Private_Name() {
  static std::atomic<unsigned long> count{0};
  return ".palvimo-removing-" + std::to_string(getpid()) + "-" + std::to_string(count.fetch_add(1));
}

}  // namespace

Unique_Fd Open_Regular_File(int folder_fd, const std::string& name, bool follow_links,
                            const std::string& path) {
  const int follow = follow_links ? 0 : O_NOFOLLOW;
  // Where the name itself has to be opened again, O_NONBLOCK and O_NOCTTY
  // make anything but a regular file fail there instead of hanging.
  constexpr int Read_Flags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
#ifdef __linux__
  // A handle that opens nothing names the inode; it is checked, then that
  // very inode is opened for reading through the process's descriptor table.
  const Unique_Fd handle = Open_At(folder_fd, name, O_PATH | follow);
  if (!handle.Valid()) throw Error_From_Errno(path, "cannot open", errno);
  const struct stat named = Status_Of(handle.Get(), path);
  if (!S_ISREG(named.st_mode)) throw Check_Error(path, "not a regular file");
  const std::string same_inode = "/proc/self/fd/" + std::to_string(handle.Get());
  Unique_Fd fd(open(same_inode.c_str(), O_RDONLY | O_CLOEXEC));
  // Without /proc (a bare chroot) the name is opened again, and what opened
  // must be the inode checked.
  if (!fd.Valid() && errno == ENOENT) fd = Open_At(folder_fd, name, Read_Flags | follow);
#else
  struct stat named {};
  if (fstatat(folder_fd, name.c_str(), &named, follow_links ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
    throw Error_From_Errno(path, "cannot open", errno);
  if (!S_ISREG(named.st_mode)) throw Check_Error(path, "not a regular file");
  Unique_Fd fd = Open_At(folder_fd, name, Read_Flags | follow);
#endif
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot open", errno);
  if (!Same_File(Status_Of(fd.Get(), path), named)) throw Check_Error(path, "replaced while it was opened");
  return fd;
}

Unique_Fd Create_Own_File(int folder_fd, const std::string& name, const std::string& path) {
  Unique_Fd fd = Open_At(folder_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY);
  if (!fd.Valid()) {
    if (errno == EEXIST) return fd;
    throw Error_From_Errno(path, "cannot create the copy", errno);
  }
  // The umask may have taken the owner's read bit, without which the copy
  // could not be checked before it is deleted.
  int error = fchmod(fd.Get(), S_IRUSR | S_IWUSR) == 0 ? 0 : errno;
#ifdef __linux__
  if (error == 0 && fsetxattr(fd.Get(), Mark_Attribute, "1", 1, 0) != 0 && !Is_Unsupported(errno)) error = errno;
#endif
  if (error != 0) {
    Remove_Own_File(folder_fd, name, fd.Get(), path);
    throw Error_From_Errno(path, "cannot mark the copy", error);
  }
  return fd;
}

bool Has_Own_Mark([[maybe_unused]] int fd, [[maybe_unused]] const std::string& path) {
#ifdef __linux__
  if (fgetxattr(fd, Mark_Attribute, nullptr, 0) >= 0) return true;
  if (errno == ENODATA || Is_Unsupported(errno)) return false;
  throw Error_From_Errno(path, "cannot read the mark", errno);
#else
  return false;
#endif
}

void Remove_Own_File(int folder_fd, const std::string& name, int own_fd, const std::string& path) {
  const struct stat own = Status_Of(own_fd, path);
  const std::string aside = Private_Name();
  if (Rename_No_Replace(folder_fd, name, aside) != 0) {
    if (errno == ENOENT) throw Check_Error(path, "the copy is gone");
    throw Error_From_Errno(path, "cannot delete the copy", errno);
  }
  struct stat found {};
  const bool own_found = fstatat(folder_fd, aside.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 && Same_File(found, own);
  if (own_found) {
    if (unlinkat(folder_fd, aside.c_str(), 0) != 0) throw Error_From_Errno(path, "cannot delete the copy", errno);
    return;
  }
  // Another file took the copy's name: it goes back where it was.
  if (Rename_No_Replace(folder_fd, aside, name) != 0) {
    throw Check_Error(path, "the copy was replaced; the file found there is now " + aside);
  }
  throw Check_Error(path, "the copy was replaced by another file");
}

}  // namespace palvimo
