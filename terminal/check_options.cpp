#include "terminal/check_options.h"

#include <CLI/CLI.hpp>
#include <map>

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

constexpr const char* Help_Footer =
    "Picks files of FOLDER at random, reads each end to end, writes a copy of it\n"
    "beside it (its name followed by the extension), reads the copy back, pauses\n"
    "and deletes the copy. It never changes or deletes the files it checks.\n"
    "\n"
    "Progress and each failure go to standard error; the summary goes to\n"
    "standard output. Ctrl+C, SIGTERM and SIGHUP end the check: the copy in\n"
    "progress is removed and the summary is written.\n"
    "\n"
    "Exit status: 0 if no faults were found, 1 if faults were found,\n"
    "2 for a usage error or a folder that cannot be checked.\n"
    "\n"
    "Full documentation: man palvimo-check";

}  // namespace

std::variant<Check_Options, int> Parse_Check_Options(int argc, const char* const* argv, std::ostream& out,
                                                     std::ostream& err) {
  Check_Options options;
  bool no_recurse = false;
  std::uint64_t duration_seconds = 0;
  std::uint64_t probes = 0;

  CLI::App app("Check a drive by copying randomly chosen files of FOLDER.", Program);
  app.set_help_flag("--help", "Show this help and exit");
  app.set_version_flag("--version", Version_Text(), "Show the version and exit");
  app.footer(Help_Footer);
  app.get_formatter()->column_width(28);
  app.add_option("FOLDER", options.folder, "The folder whose files are checked")->required()->type_name("");
  app.add_option("-e,--extension", options.extension, "Copy's name: the file's name and TEXT")
      ->capture_default_str()
      ->type_name("TEXT")
      ->check([](const std::string& text) { return Extension_Problem(text).value_or(std::string()); });
  app.add_option("-d,--delay", options.delay, "Pause after each copy, in milliseconds")
      ->capture_default_str()
      ->type_name("MS")
      ->check([](const std::string& text) {
        return Parse_Delay(text) ? std::string() : "not a number of milliseconds: " + text;
      });
  app.add_flag("--no-recurse", no_recurse, "Check no subfolder of FOLDER");
  const std::map<std::string, std::uint64_t> units = {{"s", 1}, {"m", 60}, {"h", 3600}, {"d", 86400}};
  CLI::Option* duration = app.add_option("-t,--duration", duration_seconds, "Stop after that long: 90s, 30m, 12h, 2d")
                              ->type_name("TIME")
                              ->transform(CLI::AsNumberWithUnit(units, CLI::AsNumberWithUnit::UNIT_REQUIRED, "UNIT")
                                              .description(""))
                              ->check(CLI::PositiveNumber.description(""));
  CLI::Option* probe_limit = app.add_option("-n,--probes", probes, "Stop after N files checked")
                                 ->type_name("N")
                                 ->check(CLI::PositiveNumber.description(""));
  app.add_flag("--json", options.json,
               "JSON Lines on standard output, summary last");
  app.add_option("--report", options.report, "At the end, the run's record as JSON in FILE")
      ->type_name("FILE");
  app.add_flag("-q,--quiet", options.quiet, "Show no progress");
  app.add_flag("--scrub", options.scrub, "Read every file once against its catalogue; no copy");
  app.add_flag("--scrub-all", options.scrub_all, "As --scrub, also files verified in the last 24 hours");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    out << Version_Text() << '\n';
    return 0;
  } catch (const CLI::ParseError& error) {
    err << Program << ": " << error.what() << "\nTry '" << Program << " --help' for more information.\n";
    return Exit_Usage;
  }
  options.recurse = !no_recurse;
  options.scrub = options.scrub || options.scrub_all;
  if (duration->count() > 0) options.duration = std::chrono::seconds(duration_seconds);
  if (probe_limit->count() > 0) options.probes = probes;
  return options;
}

}  // namespace palvimo
