#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

// The window tests run headless unless told otherwise, on one application
// object for all of them.
int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The runs' records go to a folder of the tests' own, never the user's.
  QTemporaryDir state_home;
  qputenv("XDG_STATE_HOME", state_home.path().toLocal8Bit());
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // Only the program's own ending may make the event loop return; a test's
  // window closing must not leave a quit behind for the next test.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
