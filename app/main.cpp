#include <QApplication>

#include "window/main_form.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Palvimo"));
  QApplication::setApplicationVersion(QStringLiteral("1.01.0907"));
  QGuiApplication::setDesktopFileName(QStringLiteral("palvimo"));

  palvimo::Main_Form form;
  form.show();
  return QApplication::exec();
}
