#pragma once

#include <ostream>

#include "terminal/check_options.h"
#include "terminal/progress_line.h"

namespace palvimo {

// palvimo-check --scrub: reads every file of the folder once against its
// volume's catalogue. Progress (bytes, speed, time left) and each failure go
// to `err`, the summary to `out`. Ctrl+C, SIGTERM and SIGHUP stop it after
// the file being read; the next scrub goes on from there. Returns the exit
// status, as of a run.
int Run_Scrub(const Check_Options& options, std::ostream& out, std::ostream& err, Progress_Line::Mode progress);

}  // namespace palvimo
