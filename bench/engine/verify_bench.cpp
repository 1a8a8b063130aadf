#include "verify_bench.h"

#include <fcntl.h>

#include <iostream>
#include <string>
#include <vector>

#include "open_file.h"
#include "marked_copier.h"
#include "platform/io_worker.h"
#include "process_counters.h"
#include "quiet_services.h"
#include "run_command.h"
#include "timing.h"

namespace palvimo::bench {

namespace {

namespace fs = std::filesystem;

void Drop_Cached_Pages(const fs::path& file) { Open_File(file, O_RDONLY).Drop_Cached_Pages(); }

double Time_Verified_Probe(Probe_Copier& copier, Pauser& pauser, const fs::path& file) {
  const auto files = Make_Local_File_System();
  const auto folder = files->Open_Folder(file.parent_path().string());
  const std::string name = file.filename().string();
  Drop_Cached_Pages(file);
  const auto start = Clock::now();
  copier.Copy_File(*folder, name, name + ".PVF");
  pauser.Pause(0);
  copier.Delete_Copy();
  return Seconds_Between(start, Clock::now());
}

double Time_Tools(const fs::path& file) {
  const std::string copy = file.string() + ".tools";
  Drop_Cached_Pages(file);
  const auto start = Clock::now();
  Run_Command({"cp", "--reflink=never", file.string(), copy});
  Run_Command({"sync", copy});
  // The file's name and the copy's go to the shell as its arguments, never
  // as part of the command.
  Run_Command({"sh", "-c", "dd if=\"$1\" iflag=direct bs=1M status=none | cmp - \"$2\"", "sh", copy, file.string()});
  Run_Command({"rm", copy});
  return Seconds_Between(start, Clock::now());
}

}  // namespace

double Verify_Read_Ratio(const fs::path& file) {
  No_Op_Event_Pump events;
  Io_Worker worker(events);
  Marked_Copier marked(worker);
  const auto files = Make_Local_File_System();
  const std::string name = file.filename().string();
  const Probe_Figures figures = marked.copier->Copy_File(*files->Open_Folder(file.parent_path().string()), name, name + ".PVF");
  // Nothing is read from the drive between the read-back's end and here.
  const Io_Counters after = Read_Io_Counters();
  marked.copier->Delete_Copy();
  const Io_Counters& at_read_back = *marked.at_read_back;
  const auto read_back = static_cast<double>(figures.bytes_read_back);
  std::clog << "  read-back of " << read_back / (1 << 20) << " MiB: "
            << static_cast<double>(after.Read_Bytes - at_read_back.Read_Bytes) / (1 << 20) << " MiB from the drive in "
            << std::chrono::duration<double>(figures.read_back_time).count() << " s\n";
  return static_cast<double>(after.Read_Bytes - at_read_back.Read_Bytes) / static_cast<double>(fs::file_size(file));
}

double Verified_Probe_Vs_Tools(const fs::path& file, int runs) {
  No_Op_Event_Pump events;
  Io_Worker worker(events);
  const auto copier = Make_Probe_Copier(worker);
  const auto pauser = Make_Pauser(events);
  std::vector<double> probe_seconds;
  std::vector<double> tools_seconds;
  for (int run = 0; run < runs; ++run) {
    // Whichever goes second finds the drive just after the other's work;
    // taking turns keeps that from favouring one side.
    if (run % 2 == 1) tools_seconds.push_back(Time_Tools(file));
    probe_seconds.push_back(Time_Verified_Probe(*copier, *pauser, file));
    if (run % 2 == 0) tools_seconds.push_back(Time_Tools(file));
    std::clog << "  run " << run + 1 << ": verified probe " << probe_seconds.back() << " s, tools "
              << tools_seconds.back() << " s\n";
  }
  return Median(probe_seconds) / Median(tools_seconds);
}

}  // namespace palvimo::bench
