#pragma once

class QWidget;

namespace palvimo {

// How a control's text reads: as any other, as a warning (something the
// user may want to see to, such as files that could not be checked), or as
// an error (a fault of the drive's, a run that could not go on).
enum class Text_Tone { Plain, Warning, Error };

// Shows `control`'s text in the tone's colour: for an error a dark red, for
// a warning a dark amber, both legible on the light and the dark base of
// common palettes; plain is its palette's own colour. Disabled, the control
// greys out as any other.
void Show_Text_Tone(QWidget* control, Text_Tone tone);

// Show_Text_Tone with Error, or Plain.
inline void Show_Error_Text(QWidget* control, bool error) {
  Show_Text_Tone(control, error ? Text_Tone::Error : Text_Tone::Plain);
}

}  // namespace palvimo
