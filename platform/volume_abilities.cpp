#include "platform/volume_abilities.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_calls.h"
#include "platform/own_names.h"
#include "platform/unique_fd.h"

namespace palvimo {

namespace {

constexpr mode_t Own_Mode = S_IRUSR | S_IWUSR;
constexpr char Trial_Attribute[] = "user.palvimo.probe";

// The trial's files, each named once and all removed whatever happens.
class Trial_Names {
 public:
  explicit Trial_Names(int folder_fd) : folder_fd_(folder_fd) {
    static std::atomic<unsigned long> count{0};
    base_ = std::string(Checking_Prefix) + std::to_string(getpid()) + "-" + std::to_string(count.fetch_add(1));
  }
  Trial_Names(const Trial_Names&) = delete;
  Trial_Names& operator=(const Trial_Names&) = delete;
  ~Trial_Names() {
    for (const std::string& name : names_) Calls().unlink_at(folder_fd_, name.c_str(), 0);
  }

  std::string Name(char which) {
    names_.push_back(base_ + "-" + which);
    return names_.back();
  }

 private:
  int folder_fd_;
  std::string base_;
  std::vector<std::string> names_;
};

bool Same_Inode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool Exists(int folder_fd, const std::string& name, struct stat* status = nullptr) {
  struct stat found {};
  const bool exists = Calls().status_at(folder_fd, name.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0;
  if (status) *status = found;
  return exists;
}

#ifdef __linux__
// An unnamed file, given a name only when the file system can link it.
bool Try_Unnamed(int folder_fd, const std::string& name) {
  const Unique_Fd fd(Calls().open_at(folder_fd, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, Own_Mode));
  if (!fd.Valid()) return false;
  const std::string same_inode = "/proc/self/fd/" + std::to_string(fd.Get());
  return Calls().link_at(AT_FDCWD, same_inode.c_str(), folder_fd, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
         Calls().link_at(fd.Get(), "", folder_fd, name.c_str(), AT_EMPTY_PATH) == 0;
}
#endif

bool Try_Lock(int folder_fd, const std::string& name, [[maybe_unused]] int fd) {
#ifdef F_OFD_SETLK
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (Calls().lock(fd, F_OFD_SETLK, &lock) != 0) return false;
  // A lock is only worth having where another description of the file sees it.
  const Unique_Fd other(Calls().open_at(folder_fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0));
  struct flock seen {};
  seen.l_type = F_WRLCK;
  seen.l_whence = SEEK_SET;
  return other.Valid() && Calls().lock(other.Get(), F_OFD_GETLK, &seen) == 0 && seen.l_type != F_UNLCK;
#else
  return false;
#endif
}

bool Try_Writes_After_Unlink(int folder_fd, const std::string& name) {
  const Unique_Fd fd(Calls().open_at(folder_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                                     Own_Mode));
  if (!fd.Valid()) return false;
  const char byte = 'p';
  if (Calls().write(fd.Get(), &byte, 1) != 1) return false;
  if (Calls().unlink_at(folder_fd, name.c_str(), 0) != 0) return false;
  return Calls().write(fd.Get(), &byte, 1) == 1;
}

std::string Upper_Case(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

Volume_Abilities Probe_Volume(int folder_fd, const std::string& type) {
  Volume_Abilities abilities;
  abilities.type = type;
  const File_Calls& calls = Calls();
  struct statvfs volume {};
  if (calls.volume_status(folder_fd, &volume) == 0) abilities.reports_size = volume.f_blocks > 0;
  if (const long longest = calls.longest_name(folder_fd); longest > 0) abilities.longest_name = longest;

  Trial_Names names(folder_fd);
  const std::string first = names.Name('a');
#ifdef __linux__
  abilities.unnamed_files = Try_Unnamed(folder_fd, first);
  if (abilities.unnamed_files) calls.unlink_at(folder_fd, first.c_str(), 0);
#endif
  const Unique_Fd fd(calls.open_at(folder_fd, first.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                                   Own_Mode));
  if (!fd.Valid()) {
    abilities.unnamed_files = false;
    abilities.problem = std::string("cannot write in the folder (") + std::strerror(errno) + ")";
    return abilities;
  }
  abilities.checked = true;
  abilities.mode_change = calls.change_mode(fd.Get(), Own_Mode) == 0;
  char value = 0;
  abilities.marks = calls.set_attribute(fd.Get(), Trial_Attribute, "1", 1, 0) == 0 &&
                    calls.get_attribute(fd.Get(), Trial_Attribute, &value, 1) == 1 && value == '1';
  abilities.file_locks = Try_Lock(folder_fd, first, fd.Get());

  struct stat held {};
  struct stat named {};
  bool stable = calls.status(fd.Get(), &held) == 0 && Exists(folder_fd, first, &named) && Same_Inode(held, named);
  const std::string linked = names.Name('b');
  abilities.hard_links = calls.link_at(folder_fd, first.c_str(), folder_fd, linked.c_str(), 0) == 0;
  if (abilities.hard_links) {
    stable = stable && Exists(folder_fd, linked, &named) && Same_Inode(held, named);
    calls.unlink_at(folder_fd, linked.c_str(), 0);
  }
  // A rename that takes the flag must also be seen to refuse a taken name:
  // a driver that ignores it would replace files.
  const std::string renamed = names.Name('c');
  const std::string taken = names.Name('d');
  bool moved = calls.rename_at(folder_fd, first.c_str(), folder_fd, renamed.c_str(), Rename_No_Replace) == 0;
  if (moved) {
    const Unique_Fd other(calls.open_at(folder_fd, taken.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Own_Mode));
    abilities.no_replace_rename =
        other.Valid() &&
        calls.rename_at(folder_fd, renamed.c_str(), folder_fd, taken.c_str(), Rename_No_Replace) != 0 &&
        errno == EEXIST && Exists(folder_fd, renamed);
  } else {
    moved = calls.rename_at(folder_fd, first.c_str(), folder_fd, renamed.c_str(), 0) == 0;
  }
  if (moved) {
    stable = stable && Exists(folder_fd, renamed, &named) && Same_Inode(held, named);
    struct stat upper {};
    abilities.case_insensitive = Exists(folder_fd, Upper_Case(renamed), &upper) && Same_Inode(upper, named);
  }
  abilities.stable_inodes = stable && moved;
  abilities.writes_after_unlink = Try_Writes_After_Unlink(folder_fd, names.Name('e'));
  return abilities;
}

std::string Volume_Note(const Volume_Abilities& abilities) {
  const std::string type = abilities.type.empty() ? "volume" : abilities.type;
  if (!abilities.checked) {
    return type + ": not tried (" + abilities.problem + "); copies made the most careful way, tracked in the journal";
  }
  std::string note;
  const auto add = [&note](const std::string& part) { note += (note.empty() ? "" : "; ") + part; };
  if (!abilities.marks) add("no marks kept; copies tracked in the journal");
  if (!abilities.hard_links) add("no hard links");
  if (!abilities.no_replace_rename) add("no no-replace rename");
  if (!abilities.unnamed_files) add("no unnamed files");
  if (!abilities.stable_inodes) add("inode numbers not kept; copies known by their token");
  if (!abilities.writes_after_unlink) add("no writes once unnamed; copies made at their own name");
  if (!abilities.file_locks) add("no file locks; running copies known by the journal");
  if (!abilities.mode_change) add("no file modes");
  if (!abilities.reports_size) add("reports no size; free-space rule skipped");
  if (abilities.case_insensitive) add("names case-insensitive");
  if (note.empty()) note = "every step offered";
  return type + ": " + note + "; names up to " + std::to_string(abilities.longest_name) + " bytes";
}

}  // namespace palvimo
