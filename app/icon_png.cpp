// Writes the program's icon, the 32 x 32 picture its window shows, as a PNG
// file for the desktop's icon theme. Usage: palvimo_icon_png OUTPUT.png
#include <QImage>
#include <QString>
#include <cstdio>

#include "window/palvimo.xpm"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fputs("usage: palvimo_icon_png OUTPUT.png\n", stderr);
    return 2;
  }
  const QImage icon(palvimo_xpm);
  if (icon.size() != QSize(32, 32) || !icon.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "palvimo_icon_png: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
