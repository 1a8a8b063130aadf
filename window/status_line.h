#pragma once

#include <QString>

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

}  // namespace palvimo
