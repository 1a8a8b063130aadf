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
  // Where the run's figures go at the end, in the Prometheus text format;
  // empty for nowhere.
  std::string metrics;
  bool quiet = false;
  // Read every file once against the catalogue instead of a run; every
  // file, also those verified in the last 24 hours, with scrub_all.
  bool scrub = false;
  bool scrub_all = false;
  // List the runs kept, of FOLDER's drive only when one is given.
  bool history = false;
};

// The exit statuses palvimo-check ends with; one ended by signal N with no
// drive fault found ends with 128 + N.
inline constexpr int Exit_No_Faults = 0;
inline constexpr int Exit_Faults = 1;
// A usage error, a folder that cannot be checked, nothing checked, or an
// output that could not be written.
inline constexpr int Exit_Cannot_Check = 2;
inline constexpr int Exit_Signal_Base = 128;

// The longest --duration taken: a longer one is a typing slip, not a plan.
inline constexpr std::chrono::seconds Longest_Duration{std::int64_t{100} * 36525 * 864};

// A sentence as a command's message after "palvimo-check: ": begun in
// lower case.
std::string Message_Case(std::string sentence);

// Reads a length of time as --duration takes it: a whole number of seconds,
// minutes, hours or days ("90s", "30m", "12h", "2d"), from 1 s to
// Longest_Duration. A sentence on what is wrong otherwise.
std::variant<std::chrono::seconds, std::string> Parse_Duration(const std::string& text);

// Reads the command line. Either the options of a run, or the status to exit
// with at once: 0 once --help or --version has been written to `out`, 2 once
// a usage error has been written to `err` as one line "palvimo-check: ..."
// and a line on where help is.
std::variant<Check_Options, int> Parse_Check_Options(int argc, const char* const* argv, std::ostream& out,
                                                     std::ostream& err);

}  // namespace palvimo
