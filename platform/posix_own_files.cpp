#include "platform/posix_own_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/check_error.h"
#include "platform/own_names.h"

#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace palvimo {

namespace {

// The extended attribute every copy this program makes carries.
[[maybe_unused]] constexpr char Mark_Attribute[] = "user.palvimo.probe";
constexpr mode_t Own_Mode = S_IRUSR | S_IWUSR;

struct Hook_Slot {
  std::mutex mutex;
  Own_File_Hook hook;
};

Hook_Slot& Hook() {
  static Hook_Slot slot;
  return slot;
}

// The hook is called from a copy of it, so that a test may replace it while
// a step it stalls is still under way.
void At_Step(Own_File_Step step, int folder_fd, const std::string& name) {
  Own_File_Hook hook;
  {
    const std::lock_guard lock(Hook().mutex);
    hook = Hook().hook;
  }
  if (hook) hook(step, folder_fd, name);
}

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
  if (fstat(fd, &status) != 0) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  return status;
}

Unique_Fd Open_At(int folder_fd, const std::string& name, int flags, mode_t mode = 0) {
  return Unique_Fd(openat(folder_fd, name.c_str(), flags | O_CLOEXEC, mode));
}

// Moves `from` to the private name `to` in the same folder, never over an
// existing file where the file system can refuse to.
int Move_To_Private_Name(int folder_fd, const std::string& from, const std::string& to) {
#ifdef __linux__
  if (renameat2(folder_fd, from.c_str(), folder_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
  // The private name is one no other program uses.
  return renameat(folder_fd, from.c_str(), folder_fd, to.c_str());
}

// Moves `from` to `to` in the same folder, failing with EEXIST rather than
// ever replacing a file there: where renaming cannot refuse, the file is
// linked to its new name, which can, then unlinked from its old one.
int Move_No_Replace(int folder_fd, const std::string& from, const std::string& to) {
#ifdef __linux__
  if (renameat2(folder_fd, from.c_str(), folder_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
  if (linkat(folder_fd, from.c_str(), folder_fd, to.c_str(), 0) != 0) return -1;
  unlinkat(folder_fd, from.c_str(), 0);
  return 0;
}

// A name in the copy's folder that no other file has or is given: this
// process's own, counted.
std::string Private_Name(std::string_view prefix) {
  static std::atomic<unsigned long> count{0};
  return std::string(prefix) + std::to_string(getpid()) + "-" + std::to_string(count.fetch_add(1));
}

// Where the file system keeps them, a lock of the open file description on
// the whole file, which lasts while any descriptor of that description is
// open: the copy's own descriptor, which this instance holds until the copy
// is gone, or until it ends, whatever way it ends.
[[maybe_unused]] struct flock Whole_File_Lock() {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return lock;
}

// Gives the new file its mode, mark and lock; 0, or why it could not.
int Mark(int fd) {
  // The mode asked for at the create is narrowed by the umask, which may
  // take the owner's read bit, without which the copy could not be checked
  // before it is deleted.
  if (fchmod(fd, Own_Mode) != 0) return errno;
#ifdef __linux__
  if (fsetxattr(fd, Mark_Attribute, "1", 1, 0) != 0 && !Is_Unsupported(errno)) return errno;
#endif
#ifdef F_OFD_SETLK
  // A file system that keeps no such locks leaves the copy unheld: another
  // instance would then take it for a leftover.
  struct flock lock = Whole_File_Lock();
  fcntl(fd, F_OFD_SETLK, &lock);
#endif
  return 0;
}

#ifdef __linux__
// The copy made unnamed in its folder, marked there, then linked to its name,
// which the link refuses when it is taken: there is no moment when the copy
// has a name and no mark. Nothing where the file system makes no unnamed
// files or cannot link one.
std::optional<Unique_Fd> Create_Unnamed(int folder_fd, const std::string& name, const std::string& path) {
  Unique_Fd fd = Open_At(folder_fd, ".", O_WRONLY | O_TMPFILE | O_NOCTTY, Own_Mode);
  if (!fd.Valid()) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return std::nullopt;
    throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
  }
  At_Step(Own_File_Step::Created, folder_fd, std::string());
  // Closing an unnamed file frees it: a failure leaves nothing behind.
  if (const int error = Mark(fd.Get())) throw Error_From_Errno(path, "cannot mark the copy", error, Failure_Kind::Write);
  const std::string same_inode = "/proc/self/fd/" + std::to_string(fd.Get());
  if (linkat(AT_FDCWD, same_inode.c_str(), folder_fd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
  // Without /proc the descriptor itself is linked, which needs a privilege.
  if (errno == ENOENT && linkat(fd.Get(), "", folder_fd, name.c_str(), AT_EMPTY_PATH) == 0) return fd;
  if (errno == EEXIST) return Unique_Fd();
  if (errno == EPERM || errno == ENOENT || errno == EOPNOTSUPP) return std::nullopt;
  throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
}
#endif

// The copy made and marked under a private name, which the walk never
// probes, then moved to its name, never over a file there. Where the file
// system can neither refuse to replace nor link, the copy is made at its
// name and marked there.
Unique_Fd Create_Under_Private_Name(int folder_fd, const std::string& name, const std::string& path) {
  const std::string making = Private_Name(Creating_Prefix);
  constexpr int Create_Flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY;
  Unique_Fd fd = Open_At(folder_fd, making, Create_Flags, Own_Mode);
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
  At_Step(Own_File_Step::Created, folder_fd, making);
  int error = Mark(fd.Get());
  if (error == 0 && Move_No_Replace(folder_fd, making, name) == 0) return fd;
  if (error == 0) error = errno;
  unlinkat(folder_fd, making.c_str(), 0);
  if (error == EEXIST) return Unique_Fd();
  if (error != EPERM && error != EOPNOTSUPP && error != EMLINK) {
    throw Error_From_Errno(path, "cannot create the copy", error, Failure_Kind::Write);
  }
  fd = Open_At(folder_fd, name, Create_Flags, Own_Mode);
  if (!fd.Valid()) {
    if (errno == EEXIST) return fd;
    throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
  }
  if ((error = Mark(fd.Get())) != 0) {
    Remove_Own_File(folder_fd, name, fd.Get(), path);
    throw Error_From_Errno(path, "cannot mark the copy", error, Failure_Kind::Write);
  }
  return fd;
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
  if (!handle.Valid()) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  const struct stat named = Status_Of(handle.Get(), path);
#else
  struct stat named {};
  if (fstatat(folder_fd, name.c_str(), &named, follow_links ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
    throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
#endif
  if (!S_ISREG(named.st_mode)) throw Check_Error(path, "not a regular file");
  if (named.st_dev != Status_Of(folder_fd, path).st_dev) throw Not_On_Drive(path);
#ifdef __linux__
  const std::string same_inode = "/proc/self/fd/" + std::to_string(handle.Get());
  Unique_Fd fd(open(same_inode.c_str(), O_RDONLY | O_CLOEXEC));
  // Without /proc (a bare chroot) the name is opened again, and what opened
  // must be the inode checked.
  if (!fd.Valid() && errno == ENOENT) fd = Open_At(folder_fd, name, Read_Flags | follow);
#else
  Unique_Fd fd = Open_At(folder_fd, name, Read_Flags | follow);
#endif
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  if (!Same_File(Status_Of(fd.Get(), path), named)) throw Check_Error(path, "replaced while it was opened", Failure_Kind::Vanished);
  return fd;
}

Unique_Fd Create_Own_File(int folder_fd, const std::string& name, const std::string& path) {
#ifdef __linux__
  if (std::optional<Unique_Fd> made = Create_Unnamed(folder_fd, name, path)) return std::move(*made);
#endif
  return Create_Under_Private_Name(folder_fd, name, path);
}

bool Has_Own_Mark([[maybe_unused]] int fd, [[maybe_unused]] const std::string& path) {
#ifdef __linux__
  if (fgetxattr(fd, Mark_Attribute, nullptr, 0) >= 0) return true;
  if (errno == ENODATA || Is_Unsupported(errno)) return false;
  throw Error_From_Errno(path, "cannot read the mark", errno, Failure_Kind::Read);
#else
  return false;
#endif
}

bool Held_By_Live_Instance([[maybe_unused]] int fd) {
#ifdef F_OFD_GETLK
  struct flock lock = Whole_File_Lock();
  return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
#else
  return false;
#endif
}

void Remove_Own_File(int folder_fd, const std::string& name, int own_fd, const std::string& path) {
  const struct stat own = Status_Of(own_fd, path);
  const std::string aside = Private_Name(Removing_Prefix);
  if (Move_To_Private_Name(folder_fd, name, aside) != 0) {
    if (errno == ENOENT) throw Check_Error(path, "the copy is gone", Failure_Kind::Vanished);
    throw Error_From_Errno(path, "cannot delete the copy", errno, Failure_Kind::Delete);
  }
  At_Step(Own_File_Step::Set_Aside, folder_fd, aside);
  struct stat found {};
  const bool own_found = fstatat(folder_fd, aside.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 && Same_File(found, own);
  if (own_found) {
    if (unlinkat(folder_fd, aside.c_str(), 0) == 0) return;
    const int error = errno;
    // Back at its own name, the copy is where a second try and the user
    // expect it; should even that fail, the walk finds it at its private name.
    const bool moved_back = Move_No_Replace(folder_fd, aside, name) == 0;
    const std::string action = moved_back ? "cannot delete the copy" : "cannot delete the copy, left as " + aside;
    throw Error_From_Errno(path, action.c_str(), error, Failure_Kind::Delete);
  }
  // Another file took the copy's name: it goes back where it was, or, when
  // yet another file has that name by now, to a name of its own beside it
  // that the user can see.
  if (Move_No_Replace(folder_fd, aside, name) == 0) {
    throw Check_Error(path, "the copy was replaced by another file", Failure_Kind::Name_Taken);
  }
  std::string restored = aside;
  for (int n = 1; n <= 100; ++n) {
    const std::string visible = name + std::string(Restored_Infix) + std::to_string(n);
    if (Move_No_Replace(folder_fd, aside, visible) == 0) {
      restored = visible;
      break;
    }
    if (errno != EEXIST) break;
  }
  throw Check_Error(path,
                    "the copy was replaced by another file, which could not go back to its name as it was taken "
                    "again: that file is now " + restored,
                    Failure_Kind::Name_Taken);
}

void Set_Own_File_Hook(Own_File_Hook hook) {
  const std::lock_guard lock(Hook().mutex);
  Hook().hook = std::move(hook);
}

}  // namespace palvimo
