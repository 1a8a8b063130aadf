#include "window/focus_cue_rows.h"

#include <QPainter>
#include <QWidget>

namespace palvimo {

void Focus_Cue_Rows::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const bool framed = (option.state & QStyle::State_Selected) && option.widget && !option.widget->hasFocus();
  if (!framed) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem unfilled = option;
  unfilled.state &= ~QStyle::State_Selected;
  QStyledItemDelegate::paint(painter, unfilled, index);
  painter->save();
  painter->setPen(option.palette.color(QPalette::Highlight));
  painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
  painter->restore();
}

}  // namespace palvimo
