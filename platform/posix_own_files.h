#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/unique_fd.h"

namespace palvimo {

// The copies this program makes and how it knows them. Every operation is
// relative to an open folder's descriptor and to a file held open, so that
// nothing renamed, replaced or mounted on a path can redirect it.

// Opens the regular file `name` of the folder `folder_fd` for reading,
// knowing it to be a regular file before it is opened (opening a device or a
// FIFO can act on it or hang). Links are followed when `follow_links`.
// Throws Check_Error naming `path`.
Unique_Fd Open_Regular_File(int folder_fd, const std::string& name, bool follow_links,
                            const std::string& path);

// Creates the new file `name` in the folder: owner read and write only,
// whatever the umask, and marked as this program's where the file system
// keeps marks. A descriptor that is not Valid() when the name is taken.
// Throws Check_Error; a file that cannot be marked is removed.
Unique_Fd Create_Own_File(int folder_fd, const std::string& name, const std::string& path);

// True when the open file carries this program's mark. Throws Check_Error.
bool Has_Own_Mark(int fd, const std::string& path);

// Removes the name `name` of the folder while it names the very file held
// open as `own_fd`, and never anything else, whoever renames what meanwhile:
// what is at the name is first moved to a private name of its own, checked
// there and only then unlinked; a stranger is moved back. Throws Check_Error
// when the name is gone or holds another file.
void Remove_Own_File(int folder_fd, const std::string& name, int own_fd, const std::string& path);

}  // namespace palvimo
