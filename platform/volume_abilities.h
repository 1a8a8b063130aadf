#pragma once

#include <string>

namespace palvimo {

// What the file system of a folder really does, found out by trying it on a
// private file (Probe_Volume) before any copy is written there: the copier
// chooses how it makes, marks, identifies and removes copies from this,
// rather than reading meaning into each call's errno. The defaults are the
// most careful choices, used where the folder could not be tried.
struct Volume_Abilities {
  // Whether the folder could be tried at all; `problem` says why not.
  bool checked = false;
  std::string problem;
  // The file system's type as the system names it ("exfat", "fuseblk").
  std::string type;
  // Unnamed files (O_TMPFILE) that can then be linked to a name.
  bool unnamed_files = false;
  bool hard_links = false;
  // A rename that refuses to replace a file (RENAME_NOREPLACE).
  bool no_replace_rename = false;
  // Extended attributes, kept and read back: the copy's mark.
  bool marks = false;
  // Locks of open file descriptions, seen from another description.
  bool file_locks = false;
  bool mode_change = false;
  // Writes through a descriptor whose file has lost its last name.
  bool writes_after_unlink = false;
  // A file's inode number stays the same across a link and a rename, and
  // its descriptor reports the number its name does.
  bool stable_inodes = false;
  // The volume reports its size (statvfs f_blocks > 0); one that does not
  // cannot be held to the free-space rule.
  bool reports_size = true;
  bool case_insensitive = false;
  // The longest name the folder takes, in bytes.
  long longest_name = 255;

  // Whether copies made here are kept in the journal. Where the volume keeps
  // marks and locks, a copy itself says it is ours and whether its maker
  // still runs, and the journal, a flush on the home drive for every copy,
  // would add nothing.
  bool Copies_Journaled() const { return !(marks && file_locks); }
};

// Tries, in the folder `folder_fd` and through Calls(), everything
// Volume_Abilities lists, with private files removed at once. Never throws:
// a folder that cannot be tried gives the defaults with `problem` set.
Volume_Abilities Probe_Volume(int folder_fd, const std::string& type);

// One line on what the copier does there, for the record and the report:
// "exfat: no marks kept; copies tracked in the journal; no hard links".
std::string Volume_Note(const Volume_Abilities& abilities);

}  // namespace palvimo
