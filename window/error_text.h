#pragma once

class QWidget;

namespace palvimo {

// Shows `control`'s text in the error colour, a dark red legible on the
// light and the dark base of common palettes, or in its palette's own colour
// again. Disabled, the control greys out as any other.
void Show_Error_Text(QWidget* control, bool error);

}  // namespace palvimo
