// The window's side of cli_vs_window_probe_rate: a run of the main window,
// offscreen, over FOLDER with no pause, stopped by a click of Stop after
// SECONDS, as a user would. Prints "<files probed> <seconds>".
// Usage: window_rate_bench FOLDER SECONDS
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "window/main_form.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::cerr << "usage: window_rate_bench FOLDER SECONDS\n";
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string folder = argv[1];
  const auto run_time = std::chrono::seconds(std::stoi(argv[2]));

  QApplication app(argc, argv);
  palvimo::Main_Form form;
  form.show();
  form.Show_Folder(folder);
  form.Delay_Text->setText(QStringLiteral("0"));

  using Clock = std::chrono::steady_clock;
  Clock::time_point start;
  double seconds = 0;
  long probes = -1;
  // The stop is clicked from inside the run's own event runs, as the user's
  // click would be; the count shown then is the run's.
  QTimer stop;
  stop.setSingleShot(true);
  QObject::connect(&stop, &QTimer::timeout, [&] {
    probes = form.Count_Val->text().toLong();
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    form.Start_Button->click();
  });
  QTimer::singleShot(0, [&] {
    start = Clock::now();
    stop.start(run_time);
    form.Start_Button->click();
    QCoreApplication::quit();
  });
  QApplication::exec();
  if (probes <= 0) {
    std::cerr << "window_rate_bench: the run did not go as asked\n";
    return 1;
  }
  std::printf("%ld %.3f\n", probes, seconds);
  return 0;
}
