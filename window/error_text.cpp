#include "window/error_text.h"

#include <QApplication>
#include <QWidget>

namespace palvimo {

void Show_Error_Text(QWidget* control, bool error) {
  static const QColor error_colour(0xC0, 0x1C, 0x28);
  // Labels on a base (the count) draw with Text, others with WindowText.
  const QPalette::ColorRole role = control->foregroundRole();
  QPalette palette = control->palette();
  bool changed = false;
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    const QColor wanted = error ? error_colour : QApplication::palette(control).color(group, role);
    if (palette.color(group, role) == wanted) continue;
    palette.setColor(group, role, wanted);
    changed = true;
  }
  // Called for every probe: an unchanged palette is not set again.
  if (changed) control->setPalette(palette);
}

}  // namespace palvimo
