#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "platform/unique_fd.h"

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

// Creates the new file `name` in the folder: owner read and write only,
// whatever the umask, marked as this program's where the file system keeps
// marks, and held by this instance (Held_By_Live_Instance) for as long as
// the descriptor returned is open. The file has its mark before it has its
// name, and before any name at all where the file system makes unnamed
// files; elsewhere only a private name (own_names.h) ever holds it unmarked.
// A descriptor that is not Valid() when the name is taken. Throws
// Check_Error, leaving nothing behind.
Unique_Fd Create_Own_File(int folder_fd, const std::string& name, const std::string& path);

// True when the open file carries this program's mark. Throws Check_Error.
bool Has_Own_Mark(int fd, const std::string& path);

// True when a running instance of this program holds the open file: it is
// that instance's copy, not a leftover. Never throws.
bool Held_By_Live_Instance(int fd);

// Removes the name `name` of the folder while it names the very file held
// open as `own_fd`, and never anything else, whoever renames what meanwhile:
// what is at the name is first moved to a private name of its own, checked
// there and only then unlinked; a stranger is moved back, and so is the copy
// when it cannot be unlinked. Throws Check_Error when the name is gone or
// holds another file, and, naming where the copy now is, when it cannot be
// removed.
void Remove_Own_File(int folder_fd, const std::string& name, int own_fd, const std::string& path);

// The steps of making and removing a copy between which a test acts as a
// stalling drive or another program could: `name` is the file's name at that
// step, empty while it has none.
enum class Own_File_Step { Created, Set_Aside };
using Own_File_Hook = std::function<void(Own_File_Step step, int folder_fd, const std::string& name)>;
// Calls `hook` at every step from now on; an empty hook for none. For tests.
void Set_Own_File_Hook(Own_File_Hook hook);

}  // namespace palvimo
