#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace palvimo {

// One copy in progress, as the journal keeps it: enough to find it again on
// its volume, wherever that is mounted next, and to prove a file found there
// to be that copy.
struct Copy_Entry {
  // Volume_Identity of the copy's volume.
  std::string volume;
  // The copy's path from the volume's mount point ("/photos/a.jpg.PVF"), and
  // likewise the private names it is made under (empty when none) and set
  // aside under before it is unlinked.
  std::string path;
  std::string making;
  std::string removing;
  // Every path above the copy may be found at, empty ones included.
  std::array<const std::string*, 3> Paths() const { return {&path, &making, &removing}; }
  // The instance of the program that made it (Copy_Journal::Instance).
  std::string instance;
  // Random, per copy: the value of its mark where the volume keeps marks.
  std::uint64_t token = 0;
  // Its size once written: a leftover is never larger.
  std::uint64_t size = 0;
  // The modification time, in seconds, the copy is given where the volume
  // keeps neither marks nor inode numbers; 0 for none.
  std::int64_t time_token = 0;
  // When it was made, in seconds since the epoch.
  std::int64_t created = 0;
  // Its inode number where the volume keeps them; 0 when not known.
  std::uint64_t inode = 0;
};

// The copies this program has in progress, kept off the drive in the user's
// state folder (one small file each under copies/, written to a temporary
// name, flushed and renamed), so that a copy left by a killed run is known
// for this program's own on a volume that keeps no marks. Each journal is an
// instance of the program, alive while the journal exists: it holds a lock
// on a file of its own under instances/, which ends with the process however
// that ends. Safe to use from several threads.
class Copy_Journal {
 public:
  // The journal in `state_folder` (State_Folder()); none is kept where that
  // is empty.
  explicit Copy_Journal(std::string state_folder);
  ~Copy_Journal();
  Copy_Journal(const Copy_Journal&) = delete;
  Copy_Journal& operator=(const Copy_Journal&) = delete;

  // This instance's name, taking its lock on first use. Throws Check_Error
  // when the state folder cannot hold it.
  std::string Instance();
  // Keeps `entry` lastingly: written and flushed when this returns. Throws
  // Check_Error when it cannot.
  void Add(const Copy_Entry& entry);
  // Forgets the copy of that token. Never throws; a copy not forgotten is
  // found gone by a later run, which forgets it then.
  void Remove(std::uint64_t token);
  // Every copy kept for the volume `volume`. Never throws: an unreadable
  // journal holds none.
  std::vector<Copy_Entry> Entries_Of(const std::string& volume) const;
  // Whether the instance is running: true while its lock is held, and when
  // that cannot be told. Never throws.
  bool Is_Alive(const std::string& instance) const;

 private:
  std::string Copies_Folder() const;

  const std::string folder_;
  std::mutex mutex_;
  std::string instance_;
  std::string instance_file_;
  Unique_Fd instance_lock_;
};

}  // namespace palvimo
