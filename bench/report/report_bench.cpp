// The cost of the run's record and report to the check, and the report
// window as a run with faults leaves it:
//   report_bench overhead DATA_DIR  prints how much lower the probe rate of a
//       run over small files is with each run recorded on disk and the report
//       window open (offscreen) than without them, in per cent, from many
//       short pairs of runs, one of each, in turns ABBA so that a drift of
//       the machine's load weighs on both alike (paired_losses.h: the figure,
//       where it lies with 95 % confidence, and the pairs' spread):
//         record_overhead_percent       probes per second of the process's
//                                       CPU time (window, worker and record
//                                       threads together)
//         record_overhead_wall_percent  probes per second of the clock
//       On a RAM folder the run is bound by the CPU, so the first is the rate
//       an idle machine would reach; the second follows every other load on
//       a shared machine.
//   report_bench show DATA_DIR      runs over the same files and a folder
//       of larger ones for a few seconds, some probes failing, and leaves
//       the window and its report shown until the program is ended.
// The files are made once under DATA_DIR and reused; probes fail because a
// file of the user's holds the copy's name of every tenth file.
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_data.h"
#include "paired_losses.h"
#include "window/dir_list.h"
#include "window/last_result_lookup.h"
#include "window/main_form.h"
#include "window/report_window.h"

namespace {

namespace fs = std::filesystem;
using namespace palvimo;

constexpr int Small_Files = 400;
constexpr std::size_t Small_File_Size = 16 << 10;
constexpr int Large_Files = 12;
constexpr std::size_t Large_File_Size = std::size_t{4} << 20;
constexpr std::chrono::milliseconds Run_Time{750};
constexpr int Pairs = 192;
constexpr int Show_Seconds = 6;

// The small files, every tenth one's copy name taken, with a subfolder of
// larger files that only a run with Recurse on reaches.
fs::path Ensure_Run_Folder(const fs::path& data) {
  const fs::path folder = data / "report-run";
  const auto files = bench::Ensure_Random_Files(folder, Small_Files, Small_File_Size);
  for (std::size_t at = 0; at < files.size(); at += 10) {
    fs::path taken = files[at];
    taken += ".PVF";
    if (!fs::exists(taken)) std::ofstream(taken) << "the user's own file\n";
  }
  bench::Ensure_Random_Files(folder / "large", Large_Files, Large_File_Size);
  return folder;
}

// Gives `form` the focus, as its user's window has it. A window that is not
// the active one probes faster, by a fifth or more offscreen: both halves of
// the comparison run with the main window active, so that it measures the
// record and the report, not which window has the focus.
void Make_Active(Main_Form& form) {
  form.activateWindow();
  const QDeadlineTimer deadline(5000);
  while (!form.isActiveWindow() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  if (!form.isActiveWindow()) throw std::runtime_error("the main window does not become the active one");
}

// A window whose runs are recorded on disk in `state_home`, or not at all
// when it is empty. The window looks for its records' folder once, when it
// is made.
std::unique_ptr<Main_Form> Make_Window(const fs::path& state_home) {
  const char* home = std::getenv("HOME");
  const std::string saved_home = home ? home : "";
  if (state_home.empty()) {
    unsetenv("XDG_STATE_HOME");
    unsetenv("HOME");
  } else {
    setenv("XDG_STATE_HOME", state_home.c_str(), 1);
  }
  auto form = std::make_unique<Main_Form>();
  if (!saved_home.empty()) setenv("HOME", saved_home.c_str(), 1);
  form->show();
  return form;
}

struct Probe_Rates {
  double per_cpu_second = 0;
  double per_second = 0;
};

double Cpu_Seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Runs over `folder` with no pause for `time`.
Probe_Rates Probe_Rate(Main_Form& form, const fs::path& folder, bool recurse, std::chrono::milliseconds time) {
  form.Result_Dir->Set_Path(folder.string());
  // The folder chosen, the window looks up in the records how its drive did
  // last time, once, as a user reads it before pressing Start: a cost of
  // choosing the folder, not of the run, and left out of the run here.
  const auto* last_result = form.findChild<Last_Result_Lookup*>();
  while (form.Result_Dir->Reading() || (last_result && last_result->Busy()))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  form.Delay_Text->setText("0");
  if (form.Recurse_Check->isChecked() != recurse) form.Recurse_Check->click();
  QTimer::singleShot(time, &form, [&form] { form.Start_Button->click(); });
  const double cpu_before = Cpu_Seconds();
  form.Start_Button->click();  // returns when the run has ended
  const double cpu_seconds = Cpu_Seconds() - cpu_before;
  const auto probes = static_cast<double>(form.Record().Probes());
  return {probes / cpu_seconds, probes / std::chrono::duration<double>(form.Record().Elapsed()).count()};
}

int Overhead(const fs::path& data) {
  const fs::path folder = Ensure_Run_Folder(data);
  const fs::path state_home = data / "report-state";
  // The catalogue's cost is measured apart: a file where its folder would
  // be keeps it from both halves, which then differ in the record alone.
  fs::create_directories(state_home / "palvimo");
  std::ofstream(state_home / "palvimo" / "catalogue") << "no catalogue in this benchmark\n";
  // The failure lines of standard error are the same in both; they go.
  std::ostringstream failure_lines;
  std::streambuf* const standard_error = std::cerr.rdbuf(failure_lines.rdbuf());
  std::vector<double> cpu_losses;
  std::vector<double> wall_losses;
  const auto loss = [](double without, double with) { return 100 * (without - with) / without; };
  // A first run, not counted, brings the files and the program's code in.
  Probe_Rate(*Make_Window({}), folder, false, Run_Time);
  for (int pair = 0; pair < Pairs; ++pair) {
    // Each pair in the other order from the last, and compared within
    // itself, so that a drift of the machine's load weighs on both alike.
    Probe_Rates rates[2];
    for (const bool recorded : pair % 2 == 0 ? std::vector{false, true} : std::vector{true, false}) {
      auto form = Make_Window(recorded ? state_home : fs::path());
      if (recorded) form->findChild<Report_Window*>()->Open(false);
      Make_Active(*form);
      rates[recorded] = Probe_Rate(*form, folder, false, Run_Time);
    }
    std::clog << "probes per CPU second, per second: without " << rates[0].per_cpu_second << ", "
              << rates[0].per_second << "; with record and report " << rates[1].per_cpu_second << ", "
              << rates[1].per_second << '\n';
    cpu_losses.push_back(loss(rates[0].per_cpu_second, rates[1].per_cpu_second));
    wall_losses.push_back(loss(rates[0].per_second, rates[1].per_second));
  }
  std::cerr.rdbuf(standard_error);
  bench::Print_Loss_Summary("record_overhead_percent", bench::Summarize_Losses(cpu_losses));
  bench::Print_Loss_Summary("record_overhead_wall_percent", bench::Summarize_Losses(wall_losses));
  return 0;
}

int Show(const fs::path& data) {
  const fs::path folder = Ensure_Run_Folder(data);
  auto form = Make_Window(data / "report-state");
  Probe_Rate(*form, folder, true, std::chrono::seconds(Show_Seconds));
  // Names taken are no fault of the drive's, so the report does not open by
  // itself: it is opened as Ctrl+R would.
  form->findChild<Report_Window*>()->Open(true);
  return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::string part = argc == 3 ? argv[1] : "";
  if (part != "overhead" && part != "show") {
    std::cerr << "usage: report_bench overhead|show DATA_DIR\n";
    return 2;
  }
  if (part == "overhead" && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const fs::path data = fs::absolute(argv[2]);
  QApplication app(argc, argv);
  try {
    return part == "overhead" ? Overhead(data) : Show(data);
  } catch (const std::exception& error) {
    std::cerr << "report_bench " << part << ": " << error.what() << '\n';
    return 1;
  }
}
