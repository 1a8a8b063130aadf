#pragma once

#include <QString>

#include <QFont>

class QFontMetrics;

namespace palvimo {

// The status line's text for `text`, no wider than `width` pixels in
// `metrics`. A path in it (from a '/' that starts a word up to the end, or up
// to a closing parenthesised reason) is shortened in its middle, so that its
// file name and the words around it still show; text without a path is cut at
// its end.
QString Fitted_Status(const QString& text, const QFontMetrics& metrics, int width);

// "PATH: REASON" no wider than `width`: the path shortened in its middle, the
// reason whole.
QString Fitted_Failure(const QString& path, const QString& reason, const QFontMetrics& metrics, int width);

// The first sentence of `text`: up to the first full stop that ends it or is
// followed by a space; the whole text where there is none.
QString First_Sentence(const QString& text);

// `font`, made smaller a step at a time down to a legible least, until
// `text` fits in `width` pixels; the smallest tried where it never does.
QFont Font_To_Fit(const QString& text, QFont font, int width);

}  // namespace palvimo
