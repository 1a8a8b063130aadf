#pragma once

#include <memory>
#include <string>

#include "window/folder_view.h"

class QStringListModel;

namespace palvimo {

// The navigator's file list: the files of one folder that a check would
// consider, hidden ones included, by name in name order. Built on a model
// with rows of one height, so that a folder of many thousands of files shows
// at once.
class File_List : public Folder_View {
  Q_OBJECT

 public:
  File_List(std::shared_ptr<File_System> files, QWidget* parent = nullptr);

  // The folder whose files are listed, or being read; empty until a path is
  // set.
  const std::string& Path() const { return path_; }
  // Lists the files of the folder at `path`, read afresh off the window's
  // thread: none until they have been read. A folder whose files cannot be
  // read lists none.
  void Set_Path(const std::string& path);

 protected:
  void Listed(Folder_Contents contents) override;
  void Not_Listed(const Check_Error& error) override;

 private:
  QStringListModel* names_;
  std::string path_;
};

}  // namespace palvimo
