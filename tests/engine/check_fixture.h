#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/check_services.h"
#include "engine/run_control.h"
#include "engine/run_state.h"
#include "engine/walk_folder.h"
#include "engine/window_ops.h"
#include "platform/io_worker.h"
#include "support/engine_fakes.h"
#include "support/temp_tree.h"

namespace palvimo::testing {

// A check on a real temporary tree, with the real file system and copier and
// scripted window, events, random numbers and pause.
class Check_Fixture : public ::testing::Test {
 protected:
  Temp_Tree tree;
  Call_Log log;
  Recording_Window window{log};
  Scripted_Pump pump{log};
  Scripted_Random random{log};
  Recording_Pauser pauser{log};
  std::unique_ptr<File_System> real_files = Make_Local_File_System();
  Faulty_File_System files{*real_files};
  Io_Worker worker{pump};
  std::unique_ptr<Probe_Copier> copier = Make_Probe_Copier(worker);
  Run_State state;
  std::ostringstream failure_log;
  Check_Services services{files, *copier, pauser, random, pump, failure_log};

  // The folder's files or subfolders in the order the walk meets them.
  std::vector<std::string> Listed_Files(const std::string& folder) {
    const auto opened = real_files->Open_Folder(folder);
    return Drain(*opened, opened->Files());
  }
  std::vector<std::string> Listed_Subfolders(const std::string& folder) {
    const auto opened = real_files->Open_Folder(folder);
    return Drain(*opened, opened->Subfolders());
  }

  // Probe copies still lying anywhere in the tree.
  std::vector<std::string> Copies_Left() const { return tree.Files_Ending_In(".PVF"); }

  // How many log lines equal `line`.
  long Count_In_Log(const std::string& line) const { return std::count(log.begin(), log.end(), line); }

 private:
  static std::vector<std::string> Drain(const Folder& folder, std::unique_ptr<Entry_Cursor> cursor) {
    std::vector<std::string> paths;
    while (auto name = cursor->Next()) paths.push_back(folder.Path_Of(*name));
    return paths;
  }
};

}  // namespace palvimo::testing
