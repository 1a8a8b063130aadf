#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPalette>

#include "window/error_text.h"

namespace palvimo::testing {
namespace {

// A light theme's palette and a dark one's, as common desktops give them.
QPalette Theme_Palette(bool dark) {
  const QColor window = dark ? QColor(0x2A, 0x2A, 0x2E) : QColor(0xEF, 0xEF, 0xEF);
  const QColor base = dark ? QColor(0x1E, 0x1E, 0x1E) : QColor(0xFF, 0xFF, 0xFF);
  const QColor text = dark ? QColor(0xEE, 0xEE, 0xEE) : QColor(0x10, 0x10, 0x10);
  QPalette palette(text, window, window.lighter(), window.darker(), window.darker(150), text, text, base, window);
  return palette;
}

// The error and warning colours keep 4.5:1 against the background they are
// shown on, in a light theme and in a dark one, for a label on the window
// and for the count on its base; plain text keeps the palette's own colour.
TEST(Error_Text_Test, TonesKeepTheirContrastOnLightAndDarkThemes) {
  const QPalette before = QApplication::palette();
  for (const bool dark : {false, true}) {
    QApplication::setPalette(Theme_Palette(dark));
    QLabel label;
    QLabel count;
    count.setBackgroundRole(QPalette::Base);
    count.setForegroundRole(QPalette::Text);
    for (QLabel* control : {&label, &count}) {
      const QColor background = QApplication::palette(control).color(control->backgroundRole());
      for (const Text_Tone tone : {Text_Tone::Error, Text_Tone::Warning}) {
        Show_Text_Tone(control, tone);
        const QColor shown = control->palette().color(control->foregroundRole());
        EXPECT_GE(Contrast_Ratio(shown, background), Least_Text_Contrast) << "dark " << dark << ": " << shown.name().toStdString();
        // Still a red or an amber: red leads, and blue stays low.
        EXPECT_GT(shown.red(), shown.blue());
        EXPECT_GT(shown.red(), shown.green());
      }
      Show_Text_Tone(control, Text_Tone::Plain);
      EXPECT_EQ(control->palette().color(control->foregroundRole()),
                QApplication::palette(control).color(control->foregroundRole()));
    }
  }
  QApplication::setPalette(before);
  // The contrast as its definition gives it at its ends.
  EXPECT_NEAR(Contrast_Ratio(Qt::black, Qt::white), 21.0, 1e-9);
  EXPECT_NEAR(Contrast_Ratio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
}

}  // namespace
}  // namespace palvimo::testing
