#pragma once

#include <cstdint>
#include <string>

namespace palvimo {

// The state of the check, held by the main window for its whole life.
struct Run_State {
  bool Is_Running = false;      // a run is in progress
  bool Stop_Requested = false;  // the user asked the run to stop
  bool Recurse_On = true;       // subfolders are visited; follows Recurse_Check
  std::string Focused_List;     // the navigator list that last had the focus
  std::int32_t File_Count = 0;  // files probed in the current run
};

}  // namespace palvimo
