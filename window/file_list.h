#pragma once

#include <QListView>
#include <string>

#include "platform/file_system.h"

class QStringListModel;

namespace palvimo {

// The navigator's file list: the files of one folder that a check would
// consider, hidden ones included, by name in name order. Built on a model
// with rows of one height, so that a folder of many thousands of files shows
// at once.
class File_List : public QListView {
  Q_OBJECT

 public:
  File_List(File_System& files, QWidget* parent = nullptr);

  // The folder whose files are listed; empty until a path is set.
  const std::string& Path() const { return path_; }
  // Lists the files of the folder at `path`, read afresh. A folder whose
  // files cannot be read lists none.
  void Set_Path(const std::string& path);

 private:
  File_System& files_;
  QStringListModel* names_;
  std::string path_;
};

}  // namespace palvimo
