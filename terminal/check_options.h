#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

namespace palvimo {

// How palvimo-check was asked to run, read from its command line.
struct Check_Options {
  std::string folder;
  std::string extension = ".PVF";
  std::string delay = "500";
  bool recurse = true;
  // The run stops at the first of these limits that is reached.
  std::optional<std::chrono::seconds> duration;
  std::optional<std::uint64_t> probes;
  bool json = false;
  // Where the run's record goes at the end; empty for nowhere.
  std::string report;
  bool quiet = false;
  // Read every file once against the catalogue instead of a run; every
  // file, also those verified in the last 24 hours, with scrub_all.
  bool scrub = false;
  bool scrub_all = false;
};

// The exit statuses palvimo-check ends with.
inline constexpr int Exit_No_Faults = 0;
inline constexpr int Exit_Faults = 1;
inline constexpr int Exit_Usage = 2;

// Reads the command line. Either the options of a run, or the status to exit
// with at once: 0 once --help or --version has been written to `out`, 2 once
// a usage error has been written to `err` as "palvimo-check: ...".
std::variant<Check_Options, int> Parse_Check_Options(int argc, const char* const* argv, std::ostream& out,
                                                     std::ostream& err);

}  // namespace palvimo
