#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/check_error.h"
#include "platform/escaped_text.h"
#include "platform/file_system.h"
#include "platform/late_removals.h"
#include "platform/mount_point.h"
#include "platform/open_file_limit.h"
#include "window/drive_list.h"
#include "window/main_form.h"

// PALVIMO_VERSION and PALVIMO_APP_ID come from the build (app/CMakeLists.txt).

namespace {

constexpr int Exit_Usage = 2;

void Say(const QString& text) { std::fputs(qPrintable(text + QLatin1Char('\n')), stdout); }

void Complain(const std::string& text) { std::fprintf(stderr, "palvimo: %s\n", text.c_str()); }

// Whether a display has been named for the window. Without one Qt would
// abort with a message about its plugins; a platform chosen outright
// (offscreen, vnc...) is left to Qt.
bool Display_Named() {
  return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("DISPLAY");
}

// Opens the navigator at `folder`, its drive highlighted when the drive list
// has it. Throws Check_Error when the folder cannot be opened: the navigator
// lists it later, off the window's thread, so it is opened once here, before
// there is a window to hold up.
void Open_Folder(palvimo::Main_Form& form, const QString& folder) {
  const std::string path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()).toStdString();
  palvimo::Make_Local_File_System()->Open_Folder(path);
  const std::string drive = palvimo::Mount_Point_Of(path);
  for (int index = 0; index < form.Result_Drive->Entry_Count(); ++index)
    if (form.Result_Drive->Entry(index) == drive) form.Result_Drive->Set_Drive(drive);
  form.Show_Folder(path);
}

// While the application starts, a display that is named but cannot be
// reached makes Qt give up with a fatal message and an abort; the program
// says so in one line, with the first thing Qt said of it, and ends as it
// does without a display.
void Display_Unreachable(QtMsgType type, const QMessageLogContext&, const QString& message) {
  static QString first = message.split(QLatin1Char('\n')).constFirst();
  if (type != QtFatalMsg) return;
  Complain("cannot open the window on the display (" + first.toStdString() +
           "); to check a drive from a terminal, use palvimo-check");
  std::_Exit(Exit_Usage);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setApplicationName(QStringLiteral("Palvimo"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PALVIMO_VERSION));

  // The command line is read before the application exists, as that needs
  // a display.
  QStringList arguments;
  for (int index = 0; index < argc; ++index) arguments << QString::fromLocal8Bit(argv[index]);
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Checks a drive by copying randomly chosen files of a folder.\n"
      "To check a drive from a terminal or a script, use palvimo-check."));
  const QCommandLineOption help_option(QStringLiteral("help"), QStringLiteral("Show this help and exit."));
  const QCommandLineOption version_option(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
  parser.addOption(help_option);
  parser.addOption(version_option);
  parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder the navigator opens at."),
                               QStringLiteral("[FOLDER]"));
  if (!parser.parse(arguments)) {
    Complain(parser.errorText().toStdString() + "\nTry 'palvimo --help' for more information.");
    return Exit_Usage;
  }
  if (parser.isSet(help_option)) {
    Say(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("palvimo")).trimmed());
    return 0;
  }
  if (parser.isSet(version_option)) {
    Say(QStringLiteral("palvimo (Palvimo) " PALVIMO_VERSION));
    return 0;
  }
  const QStringList folders = parser.positionalArguments();
  if (folders.size() > 1) {
    Complain("only one FOLDER may be given\nTry 'palvimo --help' for more information.");
    return Exit_Usage;
  }
  if (!Display_Named()) {
    Complain("no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset); "
             "to check a drive from a terminal, use palvimo-check");
    return Exit_Usage;
  }

  // Destroyed last, once the window is gone: a probe copy whose removal the
  // drive holds up is waited for a few seconds at most.
  const palvimo::Late_Removals_Wait late_removals(std::cerr, "palvimo");
  palvimo::Raise_Open_File_Limit();
  const QtMessageHandler usual_handler = qInstallMessageHandler(Display_Unreachable);
  QApplication app(argc, argv);
  qInstallMessageHandler(usual_handler);
  QGuiApplication::setDesktopFileName(QStringLiteral(PALVIMO_APP_ID));

  palvimo::Main_Form form;
  if (!folders.isEmpty()) {
    try {
      Open_Folder(form, folders.constFirst());
    } catch (const palvimo::Check_Error& error) {
      Complain("cannot open " + palvimo::Escaped_Text(error.Path()) + ": " + error.Reason());
      return Exit_Usage;
    }
  }
  form.show();
  return QApplication::exec();
}
