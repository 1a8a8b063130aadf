#include "platform/own_leftovers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/check_error.h"
#include "platform/file_calls.h"
#include "platform/own_names.h"
#include "platform/posix_own_files.h"
#include "platform/unique_fd.h"

namespace palvimo {

namespace {

// FAT keeps times to two seconds.
constexpr std::int64_t Time_Slack = 2;

std::optional<Copy_Entry> Entry_At(const Copy_Volume& volume, Copy_Journal& journal, const std::string& path,
                                   std::uint64_t making) {
  const std::string relative = volume.Relative(path);
  for (Copy_Entry& entry : journal.Entries_Of(volume.identity)) {
    if (entry.token == making) continue;
    for (const std::string* name : entry.Paths()) {
      if (!name->empty() && *name == relative) return std::move(entry);
    }
  }
  return std::nullopt;
}

// The name, in the copy's own folder, the entry's copy is set aside under;
// none unless it is a private name of ours, whatever the journal holds.
std::string Removing_Name(const Copy_Entry& entry) {
  std::string name = entry.removing.substr(entry.removing.rfind('/') + 1);
  return name.starts_with(Removing_Prefix) ? name : std::string();
}

// Whether `found` is still the copy the journal holds: ours, never larger
// than it was to be, at the same inode where the volume keeps them, and
// with its time token, or, killed before it was given that again, written
// since it was made.
bool Matches(const Copy_Entry& entry, const struct stat& found, const Volume_Abilities& abilities) {
  if (!S_ISREG(found.st_mode) || found.st_uid != geteuid()) return false;
  if (static_cast<std::uint64_t>(found.st_size) > entry.size) return false;
  if (abilities.stable_inodes && entry.inode != 0 && found.st_ino != entry.inode) return false;
  const std::int64_t modified = found.st_mtim.tv_sec;
  if (entry.time_token != 0 && modified == entry.time_token) return true;
  return modified >= entry.created - Time_Slack && modified <= std::time(nullptr) + Time_Slack;
}

// What the volume check writes in a file at most, with room to spare.
constexpr off_t Most_Check_Bytes = 4096;
constexpr std::time_t Check_Age = 60;

// Whether the process that made the volume check's file `name` is gone: its
// number, just after the prefix, names no running process. A number that
// cannot be read, or a process that may be running, keeps the file.
bool Check_Maker_Gone(std::string_view name) {
  name.remove_prefix(Checking_Prefix.size());
  pid_t maker = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), maker);
  if (error != std::errc() || end == name.data() || maker <= 0) return false;
  return kill(maker, 0) != 0 && errno == ESRCH;
}

bool Is_Check_Leftover(const std::string& name, const struct stat& found) {
  return name.starts_with(Checking_Prefix) && S_ISREG(found.st_mode) && found.st_uid == geteuid() &&
         found.st_size <= Most_Check_Bytes && found.st_mtim.tv_sec + Check_Age < std::time(nullptr) &&
         Check_Maker_Gone(name);
}

// Unlinks a leftover proved ours at a private name, where no one else's
// file is.
void Unlink_Leftover(int folder_fd, const std::string& name, const std::string& path) {
  if (Calls().unlink_at(folder_fd, name.c_str(), 0) != 0 && errno != ENOENT) {
    throw Error_From_Errno(path, "cannot delete the leftover", errno, Failure_Kind::Delete);
  }
}

[[noreturn]] void Another_Users(const std::string& path) {
  throw Check_Error(path, "another user's leftover copy, left where it is: " + path, Failure_Kind::Permission_Denied);
}

// Remove_If_Own, with the journal's entry for the file either the one
// `swept` or, where there is none, the one found by its name.
Leftover Remove_Leftover(int folder_fd, const std::string& name, const std::string& path, const Copy_Volume& volume,
                         Copy_Journal& journal, std::uint64_t making, const Copy_Entry* swept) {
  struct stat found {};
  if (Calls().status_at(folder_fd, name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(found.st_mode)) {
    return Leftover::Other;
  }
  if (found.st_uid != geteuid()) {
    // Only its owner may judge it: a copy of theirs is never ours to
    // remove, and one that cannot even be read is most likely theirs too.
    const Unique_Fd fd(openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid() && (errno == EACCES || errno == EPERM)) Another_Users(path);
    if (fd.Valid() && Has_Own_Mark(fd.Get(), path)) Another_Users(path);
    return Leftover::Other;
  }
  if (name.starts_with(Checking_Prefix)) {
    if (!Is_Check_Leftover(name, found)) return Leftover::In_Use;
    Unlink_Leftover(folder_fd, name, path);
    return Leftover::Removed;
  }
  const Unique_Fd fd = Open_Regular_File(folder_fd, name, false, path);
  // A volume whose copies are not journaled has no entry to look for by
  // name; one journaled while it was mounted otherwise is the sweep's.
  std::optional<Copy_Entry> entry;
  if (swept) {
    entry = *swept;
  } else if (volume.abilities.Copies_Journaled()) {
    entry = Entry_At(volume, journal, path, making);
  }
  Own_File_Plan plan;
  if (Has_Own_Mark(fd.Get(), path)) {
    if (Held_By_Live_Instance(fd.Get())) return Leftover::In_Use;
    if (entry && journal.Is_Alive(entry->instance)) return Leftover::In_Use;
    plan.token = Own_Mark_Token(fd.Get()).value_or(0);
  } else if (entry) {
    if (journal.Is_Alive(entry->instance)) return Leftover::In_Use;
    if (!Matches(*entry, found, volume.abilities)) {
      // Not the copy any more, whatever it is: the entry could only ever
      // mislead.
      journal.Remove(entry->token);
      return Leftover::Other;
    }
    plan.token = entry->token;
    plan.time_token = entry->time_token;
  } else {
    return Leftover::Other;
  }
  if (name.starts_with(Removing_Prefix)) {
    // Already set aside by a run that ended before unlinking it: proved
    // ours above, at a name no one else's file has.
    Unlink_Leftover(folder_fd, name, path);
  } else {
    // Set aside, should this run end too before it is unlinked, where the
    // journal still finds it.
    if (entry) plan.removing = Removing_Name(*entry);
    Remove_Own_File(folder_fd, name, fd.Get(), path, volume.abilities, plan);
  }
  if (entry) journal.Remove(entry->token);
  return Leftover::Removed;
}

}  // namespace

Leftover Remove_If_Own(int folder_fd, const std::string& name, const std::string& path, const Copy_Volume& volume,
                       Copy_Journal& journal, std::uint64_t making) {
  return Remove_Leftover(folder_fd, name, path, volume, journal, making, nullptr);
}

int Remove_Journaled_Leftovers(const Copy_Volume& volume, Copy_Journal& journal) {
  int removed = 0;
  for (const Copy_Entry& entry : journal.Entries_Of(volume.identity)) {
    if (journal.Is_Alive(entry.instance)) continue;
    bool kept = false;
    for (const std::string* relative : entry.Paths()) {
      if (relative->empty() || relative->front() != '/') continue;
      const std::string path = volume.Full(*relative);
      const auto slash = path.rfind('/');
      const std::string folder_path = slash == 0 ? "/" : path.substr(0, slash);
      const Unique_Fd folder(open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
      struct stat status {};
      if (!folder.Valid() || Calls().status(folder.Get(), &status) != 0 || status.st_dev != volume.device) continue;
      try {
        if (Remove_Leftover(folder.Get(), path.substr(slash + 1), path, volume, journal, 0, &entry) == Leftover::Removed) {
          ++removed;
        }
      } catch (const Check_Error&) {
        // Kept for a later run, or for the walk, which says why.
        kept = true;
      }
    }
    if (!kept) journal.Remove(entry.token);
  }
  return removed;
}

int Remove_Check_Leftovers(int folder_fd) {
  const int listing_fd = fcntl(folder_fd, F_DUPFD_CLOEXEC, 0);
  if (listing_fd < 0) return 0;
  DIR* listing = fdopendir(listing_fd);
  if (!listing) {
    close(listing_fd);
    return 0;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    if (std::string_view(entry->d_name).starts_with(Checking_Prefix)) names.emplace_back(entry->d_name);
  }
  closedir(listing);
  int removed = 0;
  for (const std::string& name : names) {
    struct stat found {};
    if (Calls().status_at(folder_fd, name.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
        Is_Check_Leftover(name, found) && Calls().unlink_at(folder_fd, name.c_str(), 0) == 0) {
      ++removed;
    }
  }
  return removed;
}

}  // namespace palvimo
