#include "window/file_list.h"

#include <QStringListModel>
#include <vector>

#include "platform/check_error.h"
#include "window/display_text.h"
#include "window/focus_cue_rows.h"
#include "window/sorted_entries.h"

namespace palvimo {

File_List::File_List(File_System& files, QWidget* parent)
    : QListView(parent), files_(files), names_(new QStringListModel(this)) {
  setModel(names_);
  setItemDelegate(new Focus_Cue_Rows(this));
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void File_List::Set_Path(const std::string& path) {
  std::vector<std::string> files;
  try {
    files = Sorted_Names(*files_.Open_Folder(path)->Files());
  } catch (const Check_Error&) {
    // The folder list has just opened this folder; if its files cannot be
    // read now, the list shows none rather than stop whoever moved it.
  }
  QStringList names;
  names.reserve(static_cast<qsizetype>(files.size()));
  for (const std::string& file : files) names.append(Display_Text(file));
  names_->setStringList(std::move(names));
  path_ = path;
}

}  // namespace palvimo
