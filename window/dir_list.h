#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "window/folder_view.h"

namespace palvimo {

class Folder_Rows;

// The navigator's folder list: the current folder within its drive, as the
// chain of folders from the drive's mount point down to it, followed by its
// subfolders in name order. Every entry is a folder's full path. The highlight
// moves (click, arrow keys) without opening anything; a double click opens the
// folder under it. Only folders a check would enter are offered: those on the
// drive's own file system. A folder is read off the window's thread: the list
// has no entries until it has been read.
class Dir_List : public Folder_View {
  Q_OBJECT

 public:
  // Told why the folder the list was moved to cannot be read, once the list
  // has gone back to the folder it showed before.
  using Failure_Handler = std::function<void(const Check_Error&)>;

  Dir_List(std::shared_ptr<File_System> files, QWidget* parent = nullptr);

  // The current folder, shown or being read; empty until a path is set.
  const std::string& Path() const { return path_; }
  // Makes the folder at `path` the current one at once, unless it already
  // is, and raises Path_Changed. Once read, it shows highlighted. When it
  // cannot be read, the list goes back to the folder it showed before, with
  // the highlight it had, raises Path_Changed and calls the `on_failure`
  // given last for this folder; a move made meanwhile drops the failure.
  void Set_Path(const std::string& path, Failure_Handler on_failure = {});

  int Entry_Count() const;
  // The full path of the entry at `index`.
  const std::string& Entry(int index) const;
  // The index of the highlighted entry, -1 for none.
  int Highlighted_Index() const { return currentIndex().row(); }
  // Opens the folder of the entry at `index` for the user, as Set_Path does.
  void Open_Entry(int index);
  // Reads the current folder afresh, as after a change of the mounts beneath
  // it, and raises Path_Changed; a failure is handled as by Set_Path.
  void Reopen(Failure_Handler on_failure = {});

 signals:
  // Path() changed, or the current folder is being read afresh.
  void Path_Changed();

 protected:
  void Listed(Folder_Contents contents) override;
  void Not_Listed(const Check_Error& error) override;

 private:
  void Move_To(std::string path, Failure_Handler on_failure);

  Folder_Rows* rows_;
  std::string path_;
  Failure_Handler on_failure_;
  // While a folder is being read: the folder shown before and its rows, to
  // go back to if it cannot be.
  struct Shown {
    std::string path;
    std::vector<std::string> rows;
    int current = -1;
    int highlighted = -1;
  } shown_;
};

}  // namespace palvimo
