#include "terminal/check_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <limits>

#include "engine/delay_text.h"
#include "engine/extension_rule.h"

namespace palvimo {

namespace {

constexpr const char* Program = "palvimo-check";

std::string Version_Text() {
  return std::string(Program) + " (Palvimo) " PALVIMO_VERSION
         "\nCopyright (c) 2026 The Palvimo developers.\n"
         "License MIT: <https://opensource.org/licenses/MIT>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.";
}

// Written by hand rather than by the parser, so that it reads as every other
// command's help on the system does.
constexpr const char* Help_Text =
    "Usage: palvimo-check [OPTION]... FOLDER\n"
    "  or:  palvimo-check --history [FOLDER]\n"
    "Check the drive that holds FOLDER by copying randomly chosen files of it:\n"
    "each picked file is read, written beside itself as a copy (its name followed\n"
    "by the extension), read back past the cache and compared, and the copy is\n"
    "deleted after a pause. The files checked are never changed or deleted.\n"
    "\n"
    "What is checked:\n"
    "  -e, --extension=TEXT   end each copy's name with TEXT (default: .PVF)\n"
    "  -d, --delay=MS         pause MS milliseconds before deleting each copy\n"
    "                           (default: 500)\n"
    "      --no-recurse       check no subfolder of FOLDER\n"
    "      --scrub            instead, read every file of FOLDER once, copying\n"
    "                           nothing, and check it against what was read of it\n"
    "                           before; files verified in the last 24 hours are\n"
    "                           skipped\n"
    "      --scrub-all        as --scrub, skipping no file\n"
    "\n"
    "When to stop (the first limit reached; otherwise at Ctrl+C):\n"
    "  -t, --duration=TIME    stop after TIME: a whole number followed by s, m, h\n"
    "                           or d, such as 90s, 30m, 12h or 2d; 100 years at most\n"
    "  -n, --probes=N         stop after N probes\n"
    "\n"
    "Output:\n"
    "      --json             write JSON Lines to standard output, summary last,\n"
    "                           instead of the summary's text\n"
    "      --report=FILE      write the run's whole record to FILE as JSON\n"
    "      --metrics=FILE     write the run's figures to FILE in the Prometheus\n"
    "                           text format (for node_exporter's textfile\n"
    "                           collector), replacing it whole\n"
    "  -q, --quiet            show no progress\n"
    "      --history          instead, list the runs kept on this machine, newest\n"
    "                           first; with FOLDER, only those of its drive\n"
    "  -h, --help             display this help and exit\n"
    "  -V, --version          output version information and exit\n"
    "\n"
    "Progress and each failure go to standard error, the summary to standard\n"
    "output. Ctrl+C, SIGTERM and SIGHUP end the check: the copy in progress is\n"
    "removed and the summary is written.\n"
    "\n"
    "Exit status:\n"
    " 0  no drive faults, and at least one file checked\n"
    " 1  drive faults found\n"
    " 2  nothing could be checked: a usage error, a FOLDER that cannot be opened,\n"
    "      no file checkable, or standard output that could not be written\n"
    " 128+N  ended by signal N (130 for Ctrl+C) with no drive fault found\n"
    "\n"
    "Files that could not be checked (permission denied, vanished, ...) are listed\n"
    "apart and are no drive fault. A report or metrics file that cannot be\n"
    "written makes the status 2 where it would be 0.\n"
    "\n"
    "Full documentation: man palvimo-check\n";

std::optional<std::uint64_t> Whole_Number(const std::string& text) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::string Message_Case(std::string sentence) {
  // An initialism ("FOLDER", "UTF-8") keeps its capitals.
  if (!sentence.empty() && sentence[0] >= 'A' && sentence[0] <= 'Z' &&
      (sentence.size() < 2 || sentence[1] < 'A' || sentence[1] > 'Z'))
    sentence[0] = static_cast<char>(sentence[0] - 'A' + 'a');
  return sentence;
}

std::variant<std::chrono::seconds, std::string> Parse_Duration(const std::string& text) {
  static constexpr std::pair<char, std::uint64_t> Units[] = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}};
  const std::string malformed =
      "not a length of time: '" + text + "' (a whole number followed by s, m, h or d, such as 90s or 12h)";
  if (text.size() < 2) return malformed;
  std::uint64_t unit = 0;
  for (const auto& [letter, seconds] : Units) {
    if (text.back() == letter) unit = seconds;
  }
  const auto number = Whole_Number(text.substr(0, text.size() - 1));
  if (unit == 0 || !number) return malformed;
  const auto longest = static_cast<std::uint64_t>(Longest_Duration.count());
  if (*number > longest / unit) return "'" + text + "' is longer than 100 years";
  if (*number == 0) return "'" + text + "' is no time at all; give 1s or more";
  return std::chrono::seconds(static_cast<std::int64_t>(*number * unit));
}

std::variant<Check_Options, int> Parse_Check_Options(int argc, const char* const* argv, std::ostream& out,
                                                     std::ostream& err) {
  Check_Options options;
  bool no_recurse = false;
  bool help = false;
  bool version = false;
  std::string duration_text;
  std::string probes_text;

  CLI::App app("", Program);
  app.set_help_flag();
  app.add_flag("-h,--help", help);
  app.add_flag("-V,--version", version);
  app.add_option("FOLDER", options.folder);
  app.add_option("-e,--extension", options.extension)->check([](const std::string& text) {
    // The window's sentence, as a command's message: no capital, no stop.
    std::string problem = Message_Case(Extension_Problem(text).value_or(std::string()));
    if (!problem.empty() && problem.back() == '.') problem.pop_back();
    return problem;
  });
  app.add_option("-d,--delay", options.delay)->check([](const std::string& text) {
    return Parse_Delay(text) ? std::string() : "not a number of milliseconds: '" + text + "'";
  });
  app.add_flag("--no-recurse", no_recurse);
  CLI::Option* duration = app.add_option("-t,--duration", duration_text)->check([](const std::string& text) {
    const auto parsed = Parse_Duration(text);
    return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : std::string();
  });
  CLI::Option* probe_limit = app.add_option("-n,--probes", probes_text)->check([](const std::string& text) {
    const auto number = Whole_Number(text);
    return number && *number > 0 ? std::string() : "not a whole number of 1 or more: '" + text + "'";
  });
  app.add_flag("--json", options.json);
  app.add_option("--report", options.report);
  app.add_option("--metrics", options.metrics);
  app.add_flag("-q,--quiet", options.quiet);
  app.add_flag("--scrub", options.scrub);
  app.add_flag("--scrub-all", options.scrub_all);
  app.add_flag("--history", options.history);

  const auto usage_error = [&err](const std::string& message) {
    err << Program << ": " << message << "\nTry '" << Program << " --help' for more information.\n";
    return Exit_Cannot_Check;
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& error) {
    // "--probes: 1 required TEXT missing" in the parser's words.
    const std::string what = error.what();
    if (what.ends_with(" missing") && what.find(':') != std::string::npos)
      return usage_error("option '" + what.substr(0, what.find(':')) + "' requires an argument");
    return usage_error(Message_Case(what));
  } catch (const CLI::ParseError& error) {
    // --help or --version anywhere wins over what is wrong elsewhere.
    for (int at = 1; at < argc; ++at) {
      const std::string_view argument = argv[at];
      if (argument == "--") break;
      if (argument == "-h" || argument == "--help") help = true;
      if (argument == "-V" || argument == "--version") version = true;
    }
    if (!help && !version) return usage_error(Message_Case(error.what()));
  }
  if (help) {
    out << Help_Text << std::flush;
    return Exit_No_Faults;
  }
  if (version) {
    out << Version_Text() << '\n' << std::flush;
    return Exit_No_Faults;
  }
  if (options.folder.empty() && !options.history) return usage_error("missing FOLDER");
  options.recurse = !no_recurse;
  options.scrub = options.scrub || options.scrub_all;
  if (options.scrub && !options.metrics.empty()) return usage_error("option '--metrics' is for runs, not --scrub");
  if (duration->count() > 0) options.duration = std::get<std::chrono::seconds>(Parse_Duration(duration_text));
  if (probe_limit->count() > 0) options.probes = Whole_Number(probes_text);
  return options;
}

}  // namespace palvimo
