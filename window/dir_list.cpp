#include "window/dir_list.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QStyle>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/check_error.h"
#include "platform/mount_point.h"
#include "window/display_text.h"
#include "window/focus_cue_rows.h"
#include "window/sorted_entries.h"

namespace palvimo {

namespace {

constexpr int Depth_Role = Qt::UserRole;
constexpr int Indent_Pixels = 8;

std::string Parent_Of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The folders from the mount point of the path's file system down to the
// path itself.
std::vector<std::string> Folder_Chain(const std::string& path) {
  const std::string mount_point = Mount_Point_Of(path);
  std::vector<std::string> chain{path};
  while (chain.back() != mount_point && chain.back() != "/") chain.push_back(Parent_Of(chain.back()));
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// Draws each row indented by its depth below the mount point, so that the
// chain of open folders reads as a path with the subfolders beneath it.
class Indented_Rows : public Focus_Cue_Rows {
 public:
  using Focus_Cue_Rows::Focus_Cue_Rows;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem indented = option;
    indented.rect.setLeft(option.rect.left() + Indent_Pixels * index.data(Depth_Role).toInt());
    Focus_Cue_Rows::paint(painter, indented, index);
  }
};

}  // namespace

// The rows of the folder list: the chain of open folders, the last of them
// the current folder, then the current folder's subfolders.
class Folder_Rows : public QAbstractListModel {
 public:
  Folder_Rows(const QIcon& open_icon, const QIcon& closed_icon, QObject* parent)
      : QAbstractListModel(parent), open_icon_(open_icon), closed_icon_(closed_icon) {}

  void Reset(std::vector<std::string> paths, int current) {
    beginResetModel();
    paths_ = std::move(paths);
    current_ = current;
    endResetModel();
  }

  const std::vector<std::string>& Paths() const { return paths_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(paths_.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const int row = index.row();
    const bool open = row <= current_;
    switch (role) {
      case Qt::DisplayRole: {
        // The mount point shows whole, every folder below it by its name.
        const std::string& path = paths_[static_cast<std::size_t>(row)];
        return Display_Text(row == 0 ? std::string_view(path) : Entry_Name(path));
      }
      case Qt::DecorationRole:
        return open ? open_icon_ : closed_icon_;
      case Depth_Role:
        return open ? row : current_ + 1;
      default:
        return {};
    }
  }

 private:
  QIcon open_icon_;
  QIcon closed_icon_;
  std::vector<std::string> paths_;
  int current_ = -1;
};

Dir_List::Dir_List(File_System& files, QWidget* parent)
    : QListView(parent),
      files_(files),
      rows_(new Folder_Rows(style()->standardIcon(QStyle::SP_DirOpenIcon),
                            style()->standardIcon(QStyle::SP_DirClosedIcon), this)) {
  setModel(rows_);
  setItemDelegate(new Indented_Rows(this));
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { Open_Entry(index.row()); });
}

void Dir_List::Set_Path(const std::string& path) {
  if (path == path_) return;
  const std::unique_ptr<Folder> folder = files_.Open_Folder(path);
  if (folder->Path() != path_) Show(*folder);
}

bool Dir_List::Reopen() {
  try {
    Show(*files_.Open_Folder(path_));
    return true;
  } catch (const Check_Error&) {
    return false;
  }
}

void Dir_List::Show(Folder& folder) {
  std::vector<std::string> rows = Folder_Chain(folder.Path());
  const int current = static_cast<int>(rows.size()) - 1;
  for (const std::string& name : Sorted_Names(*folder.Subfolders())) rows.push_back(folder.Path_Of(name));

  rows_->Reset(std::move(rows), current);
  path_ = folder.Path();
  setCurrentIndex(rows_->index(current));
  scrollTo(currentIndex());
  emit Path_Changed();
}

int Dir_List::Entry_Count() const { return rows_->rowCount(); }

const std::string& Dir_List::Entry(int index) const {
  return rows_->Paths().at(static_cast<std::size_t>(index));
}

bool Dir_List::Open(const std::string& path) {
  try {
    Set_Path(path);
    return true;
  } catch (const Check_Error&) {
    return false;
  }
}

void Dir_List::Open_Entry(int index) {
  if (index >= 0 && index < Entry_Count()) Open(Entry(index));
}

}  // namespace palvimo
