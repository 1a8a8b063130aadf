// A FUSE file system that shows one folder at a mount point, for the tests
// and benchmarks that need a drive served as FUSE drivers serve theirs:
//   passthrough_fs [switches] FOLDER MOUNT_POINT
//   --no-link            no hard links: the driver leaves link unanswered
//   --no-stable-inodes   inode numbers of the mount's own, not the folder's,
//                        which change when a name is linked or renamed
//   --unlink-eio-once    the first removal of a file fails with EIO
//   --no-xattr           no extended attributes
//   --hard-remove        a removed file's name goes at once, even while it
//                        is open (writes through it then fail)
// It runs in the foreground until SIGTERM or SIGINT, and unmounts then. A
// mount that cannot be made ends it with status 1 and the reason on standard
// error.
#define FUSE_USE_VERSION 35
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Settings {
  bool no_link = false;
  bool no_stable_inodes = false;
  bool unlink_eio_once = false;
  bool no_xattr = false;
  bool hard_remove = false;
};

Settings settings;
int root_fd = -1;
std::atomic<bool> unlink_failed{false};

// The path below the shown folder, for the *at calls.
const char* Below(const char* path) { return path[1] == '\0' ? "." : path + 1; }

int Result(int value) { return value < 0 ? -errno : value; }

int Fd_Of(const fuse_file_info* file) { return static_cast<int>(file->fh & 0xffffffffu); }

void* Init(fuse_conn_info*, fuse_config* config) {
  config->use_ino = settings.no_stable_inodes ? 0 : 1;
  config->hard_remove = settings.hard_remove ? 1 : 0;
  return nullptr;
}

int Getattr(const char* path, struct stat* info, fuse_file_info* file) {
  if (file != nullptr) return Result(fstat(Fd_Of(file), info));
  return Result(fstatat(root_fd, Below(path), info, AT_SYMLINK_NOFOLLOW));
}

int Readlink(const char* path, char* buffer, size_t size) {
  const ssize_t length = readlinkat(root_fd, Below(path), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

int Mkdir(const char* path, mode_t mode) { return Result(mkdirat(root_fd, Below(path), mode)); }

int Unlink(const char* path) {
  if (settings.unlink_eio_once && !unlink_failed.exchange(true)) return -EIO;
  return Result(unlinkat(root_fd, Below(path), 0));
}

int Rmdir(const char* path) { return Result(unlinkat(root_fd, Below(path), AT_REMOVEDIR)); }

int Symlink(const char* target, const char* path) { return Result(symlinkat(target, root_fd, Below(path))); }

int Rename(const char* from, const char* to, unsigned int flags) {
  return Result(static_cast<int>(syscall(SYS_renameat2, root_fd, Below(from), root_fd, Below(to), flags)));
}

int Link(const char* from, const char* to) { return Result(linkat(root_fd, Below(from), root_fd, Below(to), 0)); }

int Chmod(const char* path, mode_t mode, fuse_file_info* file) {
  if (file != nullptr) return Result(fchmod(Fd_Of(file), mode));
  return Result(fchmodat(root_fd, Below(path), mode, 0));
}

int Chown(const char* path, uid_t user, gid_t group, fuse_file_info* file) {
  if (file != nullptr) return Result(fchown(Fd_Of(file), user, group));
  return Result(fchownat(root_fd, Below(path), user, group, AT_SYMLINK_NOFOLLOW));
}

int Truncate(const char* path, off_t size, fuse_file_info* file) {
  if (file != nullptr) return Result(ftruncate(Fd_Of(file), size));
  const int fd = openat(root_fd, Below(path), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  const int result = Result(ftruncate(fd, size));
  close(fd);
  return result;
}

int Utimens(const char* path, const timespec times[2], fuse_file_info* file) {
  if (file != nullptr) return Result(futimens(Fd_Of(file), times));
  return Result(utimensat(root_fd, Below(path), times, AT_SYMLINK_NOFOLLOW));
}

// A driver reads its device as it sees fit, whatever the caller asked: a
// read past the cache reaches the driver, which reads the folder through
// buffers of its own that O_DIRECT would refuse. It reads past the folder's
// cache all the same, dropping what the cache holds of the range first.
int Open_Below(const char* path, int flags, mode_t mode = 0) {
  return openat(root_fd, Below(path), (flags & ~O_DIRECT) | O_CLOEXEC, mode);
}

// What an open file keeps: the folder's descriptor, and above it whether
// reads are to go past the cache.
constexpr uint64_t Past_Cache_Bit = uint64_t{1} << 32;

void Keep_Open(fuse_file_info* file, int fd) {
  file->fh = static_cast<uint64_t>(fd) | ((file->flags & O_DIRECT) != 0 ? Past_Cache_Bit : 0);
}

int Open(const char* path, fuse_file_info* file) {
  const int fd = Open_Below(path, file->flags);
  if (fd < 0) return -errno;
  Keep_Open(file, fd);
  return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* file) {
  const int fd = Open_Below(path, file->flags, mode);
  if (fd < 0) return -errno;
  Keep_Open(file, fd);
  return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
  if ((file->fh & Past_Cache_Bit) != 0)
    posix_fadvise(Fd_Of(file), offset, static_cast<off_t>(size), POSIX_FADV_DONTNEED);
  const ssize_t got = pread(Fd_Of(file), buffer, size, offset);
  return got < 0 ? -errno : static_cast<int>(got);
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* file) {
  const ssize_t written = pwrite(Fd_Of(file), buffer, size, offset);
  return written < 0 ? -errno : static_cast<int>(written);
}

int Statfs(const char*, struct statvfs* info) { return Result(fstatvfs(root_fd, info)); }

int Flush(const char*, fuse_file_info* file) {
  const int copy = dup(Fd_Of(file));
  return copy < 0 ? -errno : Result(close(copy));
}

int Release(const char*, fuse_file_info* file) {
  close(Fd_Of(file));
  return 0;
}

int Fsync(const char*, int data_only, fuse_file_info* file) {
  const int fd = Fd_Of(file);
  return Result(data_only ? fdatasync(fd) : fsync(fd));
}

// Extended attributes through a descriptor of the file's own: the *at forms
// of these calls do not exist.
template <typename Call>
int On_File(const char* path, Call call) {
  const int fd = openat(root_fd, Below(path), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -errno;
  const int result = call(fd);
  const int error = errno;
  close(fd);
  return result < 0 ? -error : result;
}

int Setxattr(const char* path, const char* name, const char* value, size_t size, int flags) {
  return On_File(path, [&](int fd) { return fsetxattr(fd, name, value, size, flags); });
}

int Getxattr(const char* path, const char* name, char* value, size_t size) {
  return On_File(path, [&](int fd) { return static_cast<int>(fgetxattr(fd, name, value, size)); });
}

int Listxattr(const char* path, char* list, size_t size) {
  return On_File(path, [&](int fd) { return static_cast<int>(flistxattr(fd, list, size)); });
}

int Removexattr(const char* path, const char* name) {
  return On_File(path, [&](int fd) { return fremovexattr(fd, name); });
}

int Readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
  const int fd = openat(root_fd, Below(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -errno;
  DIR* const folder = fdopendir(fd);
  if (folder == nullptr) {
    close(fd);
    return -EIO;
  }
  while (const dirent* entry = readdir(folder)) {
    struct stat info {};
    info.st_ino = entry->d_ino;
    info.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
    if (fill(buffer, entry->d_name, &info, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
  }
  closedir(folder);
  return 0;
}

fuse_operations Operations() {
  fuse_operations operations{};
  operations.init = Init;
  operations.getattr = Getattr;
  operations.readlink = Readlink;
  operations.mkdir = Mkdir;
  operations.unlink = Unlink;
  operations.rmdir = Rmdir;
  operations.symlink = Symlink;
  operations.rename = Rename;
  if (!settings.no_link) operations.link = Link;
  operations.chmod = Chmod;
  operations.chown = Chown;
  operations.truncate = Truncate;
  operations.utimens = Utimens;
  operations.open = Open;
  operations.create = Create;
  operations.read = Read;
  operations.write = Write;
  operations.statfs = Statfs;
  operations.flush = Flush;
  operations.release = Release;
  operations.fsync = Fsync;
  if (!settings.no_xattr) {
    operations.setxattr = Setxattr;
    operations.getxattr = Getxattr;
    operations.listxattr = Listxattr;
    operations.removexattr = Removexattr;
  }
  operations.readdir = Readdir;
  return operations;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> places;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--no-link") {
      settings.no_link = true;
    } else if (argument == "--no-stable-inodes") {
      settings.no_stable_inodes = true;
    } else if (argument == "--unlink-eio-once") {
      settings.unlink_eio_once = true;
    } else if (argument == "--no-xattr") {
      settings.no_xattr = true;
    } else if (argument == "--hard-remove") {
      settings.hard_remove = true;
    } else if (argument.starts_with("--")) {
      std::cerr << "passthrough_fs: unknown switch " << argument << '\n';
      return 2;
    } else {
      places.push_back(argument);
    }
  }
  if (places.size() != 2) {
    std::cerr << "usage: passthrough_fs [--no-link] [--no-stable-inodes] [--unlink-eio-once] [--no-xattr] "
                 "[--hard-remove] FOLDER MOUNT_POINT\n";
    return 2;
  }
  root_fd = open(places[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_fd < 0) {
    std::cerr << "passthrough_fs: cannot open " << places[0] << ": " << std::strerror(errno) << '\n';
    return 1;
  }
  // Files made through the mount get the modes asked for, as on a drive.
  umask(0);
  std::vector<std::string> fuse_arguments = {argv[0], places[1], "-f", "-o",
                                             "fsname=passthrough_fs,subtype=passthrough"};
  std::vector<char*> fuse_argv;
  for (std::string& argument : fuse_arguments) fuse_argv.push_back(argument.data());
  fuse_argv.push_back(nullptr);
  const fuse_operations operations = Operations();
  return fuse_main(static_cast<int>(fuse_arguments.size()), fuse_argv.data(), &operations, nullptr) == 0 ? 0 : 1;
}
