#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/check_error.h"
#include "platform/file_system.h"
#include "platform/pseudo_file_systems.h"
#include "platform/unique_fd.h"

#ifdef __linux__
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#endif

namespace palvimo {
namespace {

#ifdef __linux__
constexpr std::uint32_t Tmpfs_Type = 0x01021994;

// devtmpfs reports the type of tmpfs, which is ordinary storage for a check;
// only the mount table tells the two apart, by the device number.
bool Is_Devtmpfs(dev_t device) {
  const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  std::ifstream mounts("/proc/self/mountinfo");
  for (std::string line; std::getline(mounts, line);) {
    // "id parent major:minor root mount-point options... - type source ..."
    std::istringstream fields(line);
    std::string id, parent, numbers;
    fields >> id >> parent >> numbers;
    const auto separator = line.find(" - ");
    if (numbers == wanted && separator != std::string::npos) {
      return line.compare(separator + 3, 9, "devtmpfs ") == 0;
    }
  }
  return false;
}

bool Is_Pseudo_File_System(int fd, dev_t device, const std::string& path) {
  struct statfs info {};
  if (fstatfs(fd, &info) != 0) throw Error_From_Errno(path, errno);
  const auto type = static_cast<std::uint32_t>(info.f_type);
  if (type == Tmpfs_Type) return Is_Devtmpfs(device);
  return Is_Pseudo_File_System_Number(type);
}
#endif

std::string Without_Trailing_Separators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Join(const std::string& folder, const char* name) {
  return folder == "/" ? folder + name : folder + "/" + name;
}

bool Is_Dot_Or_Dot_Dot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A folder's entries read lazily through a stream of its own, so that each
// collection of a folder starts from the first entry and holds only what the
// system buffers. The first entry is read at once: a folder that opens but
// cannot be read fails where it is opened, not midway through its walk.
class Directory_Stream {
 public:
  Directory_Stream(int folder_fd, const std::string& path) : path_(path) {
    Unique_Fd fd(openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) throw Error_From_Errno(path_, errno);
    stream_.reset(fdopendir(fd.Get()));
    if (!stream_) throw Error_From_Errno(path_, errno);
    fd.Release();
    ahead_ = Read();
  }

  const std::string& Path() const { return path_; }
  int Fd() const { return dirfd(stream_.get()); }

  // The next entry other than "." and "..", or null at the end. It stays
  // valid until the next call.
  const dirent* Next() {
    if (ahead_ != nullptr) return std::exchange(ahead_, nullptr);
    return Read();
  }

 private:
  const dirent* Read() {
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(stream_.get());
      if (entry == nullptr) {
        if (errno != 0) throw Error_From_Errno(path_, errno);
        return nullptr;
      }
      if (!Is_Dot_Or_Dot_Dot(entry->d_name)) return entry;
    }
  }

  struct Close_Dir {
    void operator()(DIR* stream) const { closedir(stream); }
  };

  std::string path_;
  std::unique_ptr<DIR, Close_Dir> stream_;
  const dirent* ahead_ = nullptr;
};

enum class Listing { Files, Subfolders };

class Posix_Entry_Cursor final : public Entry_Cursor {
 public:
  Posix_Entry_Cursor(int folder_fd, const std::string& folder_path, dev_t device, Listing listing)
      : stream_(folder_fd, folder_path), device_(device), listing_(listing) {}

  std::optional<std::string> Next() override {
    while (const dirent* entry = stream_.Next()) {
      if (listing_ == Listing::Files ? Is_File(*entry) : Is_Subfolder(*entry)) return entry->d_name;
    }
    return std::nullopt;
  }

 private:
  // The entry type from the listing spares a regular file any stat; links,
  // and entries of file systems that give no type, are looked up.
  bool Is_File(const dirent& entry) const {
    switch (entry.d_type) {
      case DT_REG:
        return true;
      case DT_LNK:
      case DT_UNKNOWN: {
        const auto target = Stat_Entry(entry.d_name, true);
        return target && S_ISREG(target->st_mode);
      }
      default:
        return false;
    }
  }

  // Not following links keeps links to folders out; the device number keeps
  // out mount points, which show the device of the file system mounted there.
  bool Is_Subfolder(const dirent& entry) const {
    if (entry.d_type != DT_DIR && entry.d_type != DT_UNKNOWN) return false;
    const auto status = Stat_Entry(entry.d_name, false);
    return status && S_ISDIR(status->st_mode) && status->st_dev == device_;
  }

  // The entry's status, or that of what it links to with `follow_link`.
  // Nothing when there is nothing to list: the entry vanished since it was
  // read, or the link dangles, loops or leads somewhere out of reach.
  std::optional<struct stat> Stat_Entry(const char* name, bool follow_link) const {
    struct stat status {};
    if (fstatat(stream_.Fd(), name, &status, follow_link ? 0 : AT_SYMLINK_NOFOLLOW) == 0) {
      return status;
    }
    const bool unresolvable =
        errno == ELOOP || errno == ENOTDIR || errno == EACCES || errno == ENAMETOOLONG;
    if (errno == ENOENT || (follow_link && unresolvable)) return std::nullopt;
    throw Error_From_Errno(Join(stream_.Path(), name), errno);
  }

  Directory_Stream stream_;
  dev_t device_;
  Listing listing_;
};

class Posix_Folder final : public Folder {
 public:
  Posix_Folder(Unique_Fd fd, std::string path, dev_t device)
      : fd_(std::move(fd)), path_(std::move(path)), device_(device) {}

  const std::string& Path() const override { return path_; }
  std::string Path_Of(const std::string& name) const override { return Join(path_, name.c_str()); }

  std::unique_ptr<Entry_Cursor> Subfolders() override {
    return std::make_unique<Posix_Entry_Cursor>(fd_.Get(), path_, device_, Listing::Subfolders);
  }

  std::unique_ptr<Entry_Cursor> Files() override {
    return std::make_unique<Posix_Entry_Cursor>(fd_.Get(), path_, device_, Listing::Files);
  }

  // Relative to this folder's own descriptor and without following a link,
  // so that nothing renamed on the path above can redirect it; the device
  // check turns away a file system mounted on the subfolder since it was
  // listed.
  std::unique_ptr<Folder> Open_Subfolder(const std::string& name) override {
    std::string path = Path_Of(name);
    Unique_Fd fd(openat(fd_.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid()) throw Error_From_Errno(path, errno);
    struct stat status {};
    if (fstat(fd.Get(), &status) != 0) throw Error_From_Errno(path, errno);
    if (status.st_dev != device_) throw Check_Error(path, "another file system is mounted there");
    return std::make_unique<Posix_Folder>(std::move(fd), std::move(path), device_);
  }

  std::intptr_t Native_Handle() const override { return fd_.Get(); }

 private:
  Unique_Fd fd_;
  std::string path_;
  dev_t device_;
};

class Posix_File_System final : public File_System {
 public:
  std::unique_ptr<Folder> Open_Folder(const std::string& path) override {
    std::string folder_path = Without_Trailing_Separators(path);
    Unique_Fd fd(open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) throw Error_From_Errno(folder_path, errno);
    struct stat status {};
    if (fstat(fd.Get(), &status) != 0) throw Error_From_Errno(folder_path, errno);
#ifdef __linux__
    if (Is_Pseudo_File_System(fd.Get(), status.st_dev, folder_path)) {
      throw Check_Error(folder_path, "a pseudo file system, not storage");
    }
#endif
    return std::make_unique<Posix_Folder>(std::move(fd), std::move(folder_path), status.st_dev);
  }
};

}  // namespace

std::unique_ptr<File_System> Make_Local_File_System() {
  return std::make_unique<Posix_File_System>();
}

}  // namespace palvimo
