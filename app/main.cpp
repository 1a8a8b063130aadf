#include <QApplication>

#include "platform/open_file_limit.h"
#include "window/main_form.h"

// PALVIMO_VERSION and PALVIMO_APP_ID come from the build (app/CMakeLists.txt).

int main(int argc, char* argv[]) {
  palvimo::Raise_Open_File_Limit();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Palvimo"));
  QApplication::setApplicationVersion(QStringLiteral(PALVIMO_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral(PALVIMO_APP_ID));

  palvimo::Main_Form form;
  form.show();
  return QApplication::exec();
}
