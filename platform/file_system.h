#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/interface.h"

namespace palvimo {

// One collection of a folder, read lazily from first to last: memory does not
// grow with the size of the folder.
class Entry_Cursor : public Interface {
 public:
  // The name of the next entry, or nothing at the end. Throws Check_Error
  // when the enumeration fails midway.
  virtual std::optional<std::string> Next() = 0;
};

// An open folder; it holds what it opened until it is destroyed, and every
// operation on its entries goes through it, so that a folder renamed or
// replaced on its path meanwhile cannot redirect them.
class Folder : public Interface {
 public:
  // The folder's full path, with no trailing separator except for the root.
  virtual const std::string& Path() const = 0;
  // The full path of the entry `name` of this folder.
  virtual std::string Path_Of(const std::string& name) const = 0;
  // Real folders on the folder's own file system: links to folders and mount
  // points of other file systems are left out. The listing's first read
  // happens here, so that a folder that opens but cannot be read fails at
  // once. Throws Check_Error.
  virtual std::unique_ptr<Entry_Cursor> Subfolders() = 0;
  // Regular files and links that resolve to regular files, hidden ones
  // included; never FIFOs, sockets or devices. First read as for Subfolders.
  // Throws Check_Error.
  virtual std::unique_ptr<Entry_Cursor> Files() = 0;
  // Opens the subfolder `name` of this folder. Only a real folder on this
  // folder's own file system opens: a link, or a folder with another file
  // system mounted on it since it was listed, raises Check_Error.
  virtual std::unique_ptr<Folder> Open_Subfolder(const std::string& name) = 0;
  // The system's handle of the open folder (a descriptor on POSIX), for the
  // platform's own operations relative to it.
  virtual std::intptr_t Native_Handle() const = 0;
};

class File_System : public Interface {
 public:
  // Opens the folder at a full path. Throws Check_Error when it does not
  // exist, cannot be reached, or lies on a pseudo file system such as proc.
  virtual std::unique_ptr<Folder> Open_Folder(const std::string& path) = 0;
};

// The file system of the machine the program runs on.
std::unique_ptr<File_System> Make_Local_File_System();

}  // namespace palvimo
