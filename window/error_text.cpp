#include "window/error_text.h"

#include <QApplication>
#include <QWidget>

namespace palvimo {

void Show_Text_Tone(QWidget* control, Text_Tone tone) {
  static const QColor error_colour(0xC0, 0x1C, 0x28);
  static const QColor warning_colour(0xA8, 0x5A, 0x00);
  // Labels on a base (the count) draw with Text, others with WindowText.
  const QPalette::ColorRole role = control->foregroundRole();
  QPalette palette = control->palette();
  bool changed = false;
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    const QColor wanted = tone == Text_Tone::Error     ? error_colour
                          : tone == Text_Tone::Warning ? warning_colour
                                                       : QApplication::palette(control).color(group, role);
    if (palette.color(group, role) == wanted) continue;
    palette.setColor(group, role, wanted);
    changed = true;
  }
  // Called for every probe: an unchanged palette is not set again.
  if (changed) control->setPalette(palette);
}

}  // namespace palvimo
