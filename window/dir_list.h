#pragma once

#include <QListView>
#include <string>

#include "platform/file_system.h"

namespace palvimo {

class Folder_Rows;

// The navigator's folder list: the current folder within its drive, as the
// chain of folders from the drive's mount point down to it, followed by its
// subfolders in name order. Every entry is a folder's full path. The highlight
// moves (click, arrow keys) without opening anything; a double click opens the
// folder under it. Only folders a check would enter are offered: those on the
// drive's own file system.
class Dir_List : public QListView {
  Q_OBJECT

 public:
  Dir_List(File_System& files, QWidget* parent = nullptr);

  // The current folder; empty until a path is set.
  const std::string& Path() const { return path_; }
  // Makes the folder at `path` the current one, highlighted, and raises
  // Path_Changed when it was not already. Throws Check_Error when the folder
  // cannot be listed; the list then stays as it was.
  void Set_Path(const std::string& path);

  int Entry_Count() const;
  // The full path of the entry at `index`.
  const std::string& Entry(int index) const;
  // The index of the highlighted entry, -1 for none.
  int Highlighted_Index() const { return currentIndex().row(); }
  // Opens the folder at `path` for the user: false, with the list as it was,
  // when the folder cannot be listed, so that the user can pick another.
  bool Open(const std::string& path);
  // Opens the folder of the entry at `index`, as Open does.
  void Open_Entry(int index);
  // Lists the current folder afresh, as after a change of the mounts beneath
  // it, and raises Path_Changed: false, with the list as it was, when the
  // folder can no longer be listed.
  bool Reopen();

 signals:
  void Path_Changed();

 private:
  void Show(Folder& folder);

  File_System& files_;
  Folder_Rows* rows_;
  std::string path_;
};

}  // namespace palvimo
