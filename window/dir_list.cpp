#include "window/dir_list.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QStyle>
#include <iterator>
#include <utility>
#include <vector>

#include "window/display_text.h"
#include "window/focus_cue_rows.h"
#include "window/sorted_entries.h"

namespace palvimo {

namespace {

constexpr int Depth_Role = Qt::UserRole;
constexpr int Indent_Pixels = 8;

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

  // Shows `paths`, the one at `current` the current folder, and gives back
  // the rows they replace.
  std::vector<std::string> Reset(std::vector<std::string> paths, int current) {
    beginResetModel();
    std::swap(paths_, paths);
    current_ = current;
    endResetModel();
    return paths;
  }

  const std::vector<std::string>& Paths() const { return paths_; }
  int Current() const { return current_; }

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

Dir_List::Dir_List(std::shared_ptr<File_System> files, QWidget* parent)
    : Folder_View(std::move(files), Listing::Subfolders, parent),
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

void Dir_List::Set_Path(const std::string& path, Failure_Handler on_failure) {
  if (path != path_) {
    Move_To(path, std::move(on_failure));
  } else if (Reading() && on_failure) {
    // Whoever moved the list here last hears whether the folder can be read.
    on_failure_ = std::move(on_failure);
  }
}

void Dir_List::Reopen(Failure_Handler on_failure) { Move_To(path_, std::move(on_failure)); }

void Dir_List::Move_To(std::string path, Failure_Handler on_failure) {
  // Moving on before a folder has been read keeps the one shown before it.
  if (!Reading()) {
    const int current = rows_->Current();
    const int highlighted = Highlighted_Index();
    shown_ = {path_, rows_->Reset({}, -1), current, highlighted};
  }
  path_ = std::move(path);
  on_failure_ = std::move(on_failure);
  Read(path_);
  emit Path_Changed();
}

void Dir_List::Listed(Folder_Contents contents) {
  on_failure_ = nullptr;
  std::vector<std::string> rows = std::move(contents.Chain);
  const int current = static_cast<int>(rows.size()) - 1;
  rows.insert(rows.end(), std::make_move_iterator(contents.Entries.begin()),
              std::make_move_iterator(contents.Entries.end()));
  rows_->Reset(std::move(rows), current);
  shown_ = {};
  setCurrentIndex(rows_->index(current));
  scrollTo(currentIndex());
  // The file system's own spelling of the path, as a trailing separator
  // dropped, is the one kept.
  if (contents.Path != path_) {
    path_ = std::move(contents.Path);
    emit Path_Changed();
  }
}

void Dir_List::Not_Listed(const Check_Error& error) {
  const Failure_Handler on_failure = std::exchange(on_failure_, nullptr);
  const bool moved = path_ != shown_.path;
  path_ = std::move(shown_.path);
  rows_->Reset(std::move(shown_.rows), shown_.current);
  setCurrentIndex(rows_->index(shown_.highlighted));
  scrollTo(currentIndex());
  shown_ = {};
  if (moved) emit Path_Changed();
  if (on_failure) on_failure(error);
}

int Dir_List::Entry_Count() const { return rows_->rowCount(); }

const std::string& Dir_List::Entry(int index) const {
  return rows_->Paths().at(static_cast<std::size_t>(index));
}

void Dir_List::Open_Entry(int index) {
  if (index >= 0 && index < Entry_Count()) Set_Path(Entry(index));
}

}  // namespace palvimo
