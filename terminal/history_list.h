#pragma once

#include <ostream>
#include <string>

namespace palvimo {

// palvimo-check --history [FOLDER]: lists the runs kept on this machine,
// newest first, one line each, to `out`; with a folder, only the runs of
// the volume or drive that holds it. What could not be read of a record
// goes to `err`, a line each. Returns the exit status: 0, or
// Exit_Cannot_Check when the records or the folder cannot be read.
int Print_History(const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace palvimo
