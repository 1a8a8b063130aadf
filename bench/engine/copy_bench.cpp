#include "copy_bench.h"

#include <fcntl.h>

#include <iostream>
#include <string>

#include "marked_copier.h"
#include "open_file.h"
#include "platform/io_worker.h"
#include "process_counters.h"
#include "quiet_services.h"
#include "run_command.h"
#include "timing.h"

namespace palvimo::bench {

namespace {

namespace fs = std::filesystem;

void Drop_Cached_Pages(const fs::path& file) { Open_File(file, O_RDONLY).Drop_Cached_Pages(); }

// Drive traffic summed over the probe copies, in bytes.
struct Probe_Traffic {
  double Read = 0;
  double Written = 0;

  // `read_to` ends the reads counted, `after` the writes.
  void Add(const Io_Counters& before, const Io_Counters& read_to, const Io_Counters& after) {
    Read += static_cast<double>(read_to.Read_Bytes - before.Read_Bytes);
    Written += static_cast<double>(after.Write_Bytes - before.Write_Bytes) -
               static_cast<double>(after.Cancelled_Write_Bytes - before.Cancelled_Write_Bytes);
  }
};

// The copy's read-back is left out, of the time and of the traffic: this
// compares the copy itself with cp, and the verify part the whole probe.
double Time_Probe_Copy(Probe_Copier& copier, const Io_Counters& at_read_back, Folder& folder, const fs::path& file,
                       Probe_Traffic& traffic) {
  Drop_Cached_Pages(file);
  const Io_Counters before = Read_Io_Counters();
  const auto start = Clock::now();
  const std::string name = file.filename().string();
  const Probe_Figures figures = copier.Copy_File(folder, name, name + ".PVF");
  copier.Delete_Copy();
  const auto end = Clock::now();
  traffic.Add(before, at_read_back, Read_Io_Counters());
  return Seconds_Between(start, end) - std::chrono::duration<double>(figures.read_back_time).count();
}

double Time_Cp(const fs::path& file) {
  const std::string copy = file.string() + ".cp";
  Drop_Cached_Pages(file);
  const auto start = Clock::now();
  Run_Command({"cp", "--reflink=never", file.string(), copy});
  Run_Command({"sync", copy});
  Run_Command({"rm", copy});
  return Seconds_Between(start, Clock::now());
}

}  // namespace

Copy_Figures Run_Copy_Bench(const std::vector<fs::path>& files) {
  No_Op_Event_Pump events;
  Io_Worker worker(events);
  const Marked_Copier marked(worker);
  const auto file_system = Make_Local_File_System();
  std::vector<double> probe_seconds;
  std::vector<double> cp_seconds;
  Probe_Traffic traffic;
  double bytes_probed = 0;
  for (std::size_t index = 0; index < files.size(); ++index) {
    const fs::path& file = files[index];
    // Whichever goes second finds the drive just after the other's flush;
    // taking turns keeps that from favouring one side.
    if (index % 2 == 1) cp_seconds.push_back(Time_Cp(file));
    const auto folder = file_system->Open_Folder(file.parent_path().string());
    probe_seconds.push_back(Time_Probe_Copy(*marked.copier, *marked.at_read_back, *folder, file, traffic));
    if (index % 2 == 0) cp_seconds.push_back(Time_Cp(file));
    bytes_probed += static_cast<double>(fs::file_size(file));
    std::clog << "  " << file.filename().string() << ": probe copy " << probe_seconds.back()
              << " s, cp " << cp_seconds.back() << " s\n";
  }
  return {Median(probe_seconds) / Median(cp_seconds), traffic.Read / bytes_probed,
          traffic.Written / bytes_probed};
}

}  // namespace palvimo::bench
