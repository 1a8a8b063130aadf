#include "window/status_line.h"

#include <QFontMetrics>
#include <algorithm>

namespace palvimo {

namespace {

// The path within `room` pixels, shortened in its middle; its last part, the
// file's own name, stays whole while it fits at all.
QString Shortened_Path(const QString& path, const QFontMetrics& metrics, int room) {
  const QString middle = metrics.elidedText(path, Qt::ElideMiddle, room);
  const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')));
  if (middle.endsWith(name)) return middle;
  const QString start = path.left(path.size() - name.size());
  const QString head = metrics.elidedText(start, Qt::ElideRight, room - metrics.horizontalAdvance(name));
  return (head.isEmpty() ? QString(QChar(0x2026)) : head) + name;
}

// prefix + path + suffix, the path shortened to what the rest leaves of the
// width. When even the rest does not fit, the whole is cut at its end.
QString Fit(const QString& prefix, const QString& path, const QString& suffix, const QFontMetrics& metrics,
            int width) {
  const int room = width - metrics.horizontalAdvance(prefix) - metrics.horizontalAdvance(suffix);
  const QString fitted = prefix + Shortened_Path(path, metrics, std::max(room, 0)) + suffix;
  return metrics.elidedText(fitted, Qt::ElideRight, width);
}

}  // namespace

QString Fitted_Status(const QString& text, const QFontMetrics& metrics, int width) {
  qsizetype start = text.startsWith(QLatin1Char('/')) ? 0 : text.indexOf(QLatin1String(" /"));
  if (start < 0) return metrics.elidedText(text, Qt::ElideRight, width);
  if (text[start] == QLatin1Char(' ')) ++start;
  qsizetype end = text.size();
  if (text.endsWith(QLatin1Char(')'))) {
    const qsizetype reason = text.lastIndexOf(QLatin1String(" ("));
    if (reason > start) end = reason;
  }
  return Fit(text.left(start), text.mid(start, end - start), text.mid(end), metrics, width);
}

QString Fitted_Failure(const QString& path, const QString& reason, const QFontMetrics& metrics, int width) {
  return Fit({}, path, QStringLiteral(": ") + reason, metrics, width);
}

QString First_Sentence(const QString& text) {
  const qsizetype end = text.indexOf(QLatin1String(". "));
  return end < 0 ? text : text.left(end + 1);
}

QFont Font_To_Fit(const QString& text, QFont font, int width) {
  // Below this, text on a common screen no longer reads comfortably.
  constexpr qreal least_points = 6.5;
  qreal points = font.pointSizeF();
  if (points <= 0) return font;  // sized in pixels: left as it is
  while (QFontMetrics(font).horizontalAdvance(text) > width && points > least_points) {
    points = std::max(points - 0.5, least_points);
    font.setPointSizeF(points);
  }
  return font;
}

}  // namespace palvimo
