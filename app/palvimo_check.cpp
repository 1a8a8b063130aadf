#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "engine/record_json.h"
#include "platform/check_error.h"
#include "platform/late_removals.h"
#include "platform/open_file_limit.h"
#include "terminal/check_options.h"
#include "terminal/history_list.h"
#include "terminal/terminal_check.h"
#include "terminal/terminal_scrub.h"

int main(int argc, char* argv[]) {
  using namespace palvimo;
  auto parsed = Parse_Check_Options(argc, argv, std::cout, std::cerr);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const Check_Options& options = std::get<Check_Options>(parsed);
  if (options.history) return Print_History(options.folder, std::cout, std::cerr);
  Set_Program_Origin("palvimo-check", std::vector<std::string>(argv, argv + argc));

  Raise_Open_File_Limit();
  // A closed output is noticed by the check, which then ends with its copy
  // removed; the signal would kill the process with the copy still there.
  std::signal(SIGPIPE, SIG_IGN);
  const auto progress = options.quiet              ? Progress_Line::Mode::Off
                        : isatty(STDERR_FILENO) != 0 ? Progress_Line::Mode::Rewritten
                                                     : Progress_Line::Mode::Lines;
  // Destroyed last, once the check is gone: a probe copy whose removal the
  // drive holds up is waited for a few seconds at most.
  const Late_Removals_Wait late_removals(std::cerr, "palvimo-check");
  try {
    if (options.scrub) return Run_Scrub(options, std::cout, std::cerr, progress);
    Terminal_Check check(options, std::cout, std::cerr, progress, STDERR_FILENO);
    return check.Run();
  } catch (const Check_Error& error) {
    std::cerr << "palvimo-check: " << error.what() << std::endl;
    return Exit_Cannot_Check;
  }
}
