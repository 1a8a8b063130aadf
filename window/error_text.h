#pragma once

class QColor;
class QWidget;

namespace palvimo {

// How a control's text reads: as any other, as a warning (something the
// user may want to see to, such as files that could not be checked), or as
// an error (a fault of the drive's, a run that could not go on).
enum class Text_Tone { Plain, Warning, Error };

// The contrast the tones keep against the background they are drawn on: the
// least that reads for normal-sized text.
constexpr double Least_Text_Contrast = 4.5;

// The relative luminance of `colour` in the sRGB space, 0 for black to 1 for
// white, as contrast ratios are reckoned from it.
double Relative_Luminance(const QColor& colour);
// (lighter + 0.05) / (darker + 0.05), from 1 for equal colours to 21.
double Contrast_Ratio(const QColor& first, const QColor& second);

// The colour of `tone` (Error or Warning) on `background`: a red or an amber
// of the same hue, made darker on a light background and lighter on a dark
// one until it keeps Least_Text_Contrast against it.
QColor Tone_Colour(Text_Tone tone, const QColor& background);

// Shows `control`'s text in the tone's colour (Tone_Colour against the
// control's own background in the application's palette); plain is its
// palette's own colour. Disabled, the control greys out as any other.
void Show_Text_Tone(QWidget* control, Text_Tone tone);

// Show_Text_Tone with Error, or Plain.
inline void Show_Error_Text(QWidget* control, bool error) {
  Show_Text_Tone(control, error ? Text_Tone::Error : Text_Tone::Plain);
}

}  // namespace palvimo
