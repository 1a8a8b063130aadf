#pragma once

#include <QStyledItemDelegate>

namespace palvimo {

// Draws a list's rows so that its highlighted row shows whether the list has
// the focus: filled while it has, only framed while it has not.
class Focus_Cue_Rows : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace palvimo
