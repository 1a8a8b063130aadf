#include "window/file_list.h"

#include <QStringListModel>
#include <utility>

#include "window/display_text.h"
#include "window/focus_cue_rows.h"

namespace palvimo {

File_List::File_List(std::shared_ptr<File_System> files, QWidget* parent)
    : Folder_View(std::move(files), Listing::Files, parent), names_(new QStringListModel(this)) {
  setModel(names_);
  setItemDelegate(new Focus_Cue_Rows(this));
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void File_List::Set_Path(const std::string& path) {
  names_->setStringList({});
  path_ = path;
  Read(path);
}

void File_List::Listed(Folder_Contents contents) {
  QStringList names;
  names.reserve(static_cast<qsizetype>(contents.Entries.size()));
  for (const std::string& file : contents.Entries) names.append(Display_Text(file));
  names_->setStringList(std::move(names));
}

// The list stays empty: whether the folder itself can be read is the folder
// list's to say.
void File_List::Not_Listed(const Check_Error&) {}

}  // namespace palvimo
