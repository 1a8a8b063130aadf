#include "window/last_result_lookup.h"

#include <chrono>

#include "engine/run_history.h"
#include "window/off_thread.h"

namespace palvimo {

Last_Result_Lookup::Last_Result_Lookup(QObject* parent, Show show)
    : QObject(parent), show_(std::move(show)) {}

void Last_Result_Lookup::Look_Up(const std::string& folder) {
  if (folder.empty() || folder == asked_) return;
  asked_ = folder;
  if (!busy_) Start(folder);
}

void Last_Result_Lookup::Start(const std::string& folder) {
  busy_ = true;
  Run_Off_Thread<std::string>(
      this,
      [folder] {
        const Drive_Match match = Match_Of_Folder(folder);
        std::vector<Past_Run> runs;
        for (Past_Run& run : Read_Run_History().runs) {
          if (Matches(run, match)) runs.push_back(std::move(run));
        }
        return Last_Result_Text(runs, std::chrono::system_clock::now());
      },
      [this, folder](std::string text) {
        busy_ = false;
        if (folder != asked_) {
          Start(asked_);
          return;
        }
        if (text != shown_ && show_(text, shown_)) shown_ = text;
      });
}

}  // namespace palvimo
