#include "window/error_text.h"

#include <QApplication>
#include <QColor>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace palvimo {

namespace {

double Linear_Channel(double value) {
  return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

}  // namespace

double Relative_Luminance(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return 0.2126 * Linear_Channel(rgb.redF()) + 0.7152 * Linear_Channel(rgb.greenF()) +
         0.0722 * Linear_Channel(rgb.blueF());
}

double Contrast_Ratio(const QColor& first, const QColor& second) {
  const double a = Relative_Luminance(first);
  const double b = Relative_Luminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor Tone_Colour(Text_Tone tone, const QColor& background) {
  // The hues: a dark red and a dark amber, as on a light base.
  QColor colour = tone == Text_Tone::Warning ? QColor(0xA8, 0x5A, 0x00) : QColor(0xC0, 0x1C, 0x28);
  // A dark base is met by lighter shades; the luminance where black and
  // white text contrast equally parts the two.
  const bool dark_background = Relative_Luminance(background) < 0.18;
  const float hue = colour.hslHueF();
  const float saturation = colour.hslSaturationF();
  float lightness = dark_background ? std::max(colour.lightnessF(), 0.5f) : colour.lightnessF();
  for (int step = 0; step < 100 && Contrast_Ratio(colour, background) < Least_Text_Contrast; ++step) {
    lightness = std::clamp(lightness + (dark_background ? 0.02f : -0.02f), 0.0f, 1.0f);
    colour = QColor::fromHslF(hue, saturation, lightness);
  }
  return colour.toRgb();
}

void Show_Text_Tone(QWidget* control, Text_Tone tone) {
  // Labels on a base (the count) draw with Text on Base, others with
  // WindowText on Window.
  const QPalette::ColorRole role = control->foregroundRole();
  const QPalette::ColorRole background_role = control->backgroundRole();
  const QPalette own = QApplication::palette(control);
  QPalette palette = control->palette();
  bool changed = false;
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    const QColor wanted =
        tone == Text_Tone::Plain ? own.color(group, role) : Tone_Colour(tone, own.color(group, background_role));
    if (palette.color(group, role) == wanted) continue;
    palette.setColor(group, role, wanted);
    changed = true;
  }
  // Called for every probe: an unchanged palette is not set again.
  if (changed) control->setPalette(palette);
}

}  // namespace palvimo
