#include <QApplication>
#include <iostream>

#include "platform/late_removals.h"
#include "platform/open_file_limit.h"
#include "window/main_form.h"

// PALVIMO_VERSION and PALVIMO_APP_ID come from the build (app/CMakeLists.txt).

int main(int argc, char* argv[]) {
  // Destroyed last, once the window is gone: a probe copy whose removal the
  // drive holds up is waited for a few seconds at most.
  const palvimo::Late_Removals_Wait late_removals(std::cerr);
  palvimo::Raise_Open_File_Limit();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Palvimo"));
  QApplication::setApplicationVersion(QStringLiteral(PALVIMO_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral(PALVIMO_APP_ID));

  palvimo::Main_Form form;
  form.show();
  return QApplication::exec();
}
