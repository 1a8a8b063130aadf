#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/interface.h"

namespace palvimo {

// One collection of a folder, read lazily from first to last: memory does not
// grow with the size of the folder.
class Entry_Cursor : public Interface {
 public:
  // The full path of the next entry, or nothing at the end. Throws Check_Error
  // when the enumeration fails midway.
  virtual std::optional<std::string> Next() = 0;
};

// An open folder; it holds what it opened until it is destroyed.
class Folder : public Interface {
 public:
  // The folder's full path, with no trailing separator except for the root.
  virtual const std::string& Path() const = 0;
  // Real folders on the folder's own file system: links to folders and mount
  // points of other file systems are left out. Throws Check_Error.
  virtual std::unique_ptr<Entry_Cursor> Subfolders() = 0;
  // Regular files and links that resolve to regular files, hidden ones
  // included; never FIFOs, sockets or devices. Throws Check_Error.
  virtual std::unique_ptr<Entry_Cursor> Files() = 0;
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
