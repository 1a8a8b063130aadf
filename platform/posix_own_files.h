#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/unique_fd.h"
#include "platform/volume_abilities.h"

namespace palvimo {

// The copies this program makes and how it knows them. Every operation is
// relative to an open folder's descriptor and to a file held open, so that
// nothing renamed, replaced or mounted on a path can redirect it.

// Opens the regular file `name` of the folder `folder_fd` for reading,
// knowing it to be a regular file on the folder's own file system before it
// is opened (opening a device or a FIFO can act on it or hang; a file mounted
// from elsewhere is not the tree's). Links are followed when `follow_links`.
// Throws Check_Error naming `path`.
Unique_Fd Open_Regular_File(int folder_fd, const std::string& name, bool follow_links,
                            const std::string& path);

// Chosen for each copy before it is made: how it is made, and what proves
// it this program's copy once it is.
struct Own_File_Plan {
  // Random: the value of the copy's mark, and its name in the journal.
  std::uint64_t token = 0;
  // The private name (own_names.h) it is made under before it is moved to
  // its own; empty where it is made unnamed or at its own name.
  std::string making;
  // The private name it is set aside under, to be checked there before it
  // is unlinked: chosen beforehand, so that the journal knows it should the
  // run end between the two.
  std::string removing;
  // Seconds since the epoch, random, given to the copy as its times where
  // the volume keeps neither marks nor inode numbers, so that no other
  // file is taken for it; 0 for none.
  std::int64_t time_token = 0;
};

// The plan of a new copy on a volume that offers `abilities`.
Own_File_Plan Plan_Own_File(const Volume_Abilities& abilities);

// Creates the new file `name` in the folder as `plan` says: owner read and
// write only, whatever the umask, where the volume keeps modes; marked as
// this program's with the plan's token where it keeps marks; held by this
// instance (Held_By_Live_Instance) for as long as the descriptor returned is
// open where it keeps locks. The file has its mark before it has its name
// where the volume makes unnamed files or refuses to replace a file at a
// move; elsewhere it is made at its name, which it keeps until it is
// removed. Steps the volume does not offer are skipped, never failed. A
// descriptor that is not Valid() when the name is taken. Throws
// Check_Error, leaving nothing behind.
Unique_Fd Create_Own_File(int folder_fd, const std::string& name, const std::string& path,
                          const Volume_Abilities& abilities, const Own_File_Plan& plan);

// Gives the written copy its plan's times again, as writing moved them.
// Never throws.
void Stamp_Own_File(int fd, const Own_File_Plan& plan);

// True when the open file carries this program's mark. Throws Check_Error.
bool Has_Own_Mark(int fd, const std::string& path);

// The token of the open file's mark; nothing when it has no mark, or one
// without a token. Never throws.
std::optional<std::uint64_t> Own_Mark_Token(int fd);

// True when a running instance of this program holds the open file: it is
// that instance's copy, not a leftover. Never throws.
bool Held_By_Live_Instance(int fd);

// Removes the name `name` of the folder while it names the very file held
// open as `own_fd`, the copy made by `plan`, and never anything else,
// whoever renames what meanwhile. Where the volume keeps inode numbers, the
// file is known by its inode, elsewhere by its mark's token or by its size
// and times. What is at the name is moved to a private name of its own,
// checked there and only then unlinked; where the volume cannot refuse to
// replace a file at a move, what is at the name is checked first, and a
// stranger is left where it is. A stranger set aside goes back to its name,
// or, when that is taken by then, to a visible name beside it, never
// staying at a hidden one; the copy goes back when it cannot be unlinked.
// Throws Check_Error when the name is gone or holds another file (saying
// where that file now is), and, naming where the copy now is, when it cannot
// be removed.
void Remove_Own_File(int folder_fd, const std::string& name, int own_fd, const std::string& path,
                     const Volume_Abilities& abilities, const Own_File_Plan& plan);

// The steps of making and removing a copy between which a test acts as a
// stalling drive or another program could: `name` is the file's name at that
// step, empty while it has none.
enum class Own_File_Step { Created, Set_Aside };
using Own_File_Hook = std::function<void(Own_File_Step step, int folder_fd, const std::string& name)>;
// Calls `hook` at every step from now on; an empty hook for none. For tests.
void Set_Own_File_Hook(Own_File_Hook hook);

}  // namespace palvimo
