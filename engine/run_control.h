#pragma once

#include <future>
#include <memory>
#include <string>

#include "engine/check_services.h"
#include "engine/run_record.h"
#include "engine/run_state.h"
#include "engine/walk_folder.h"
#include "engine/window_ops.h"

namespace palvimo {

enum class Check_Box_State { Unchecked, Checked, Greyed };

// Turns clicks of Start_Button into runs of passes over one root folder.
// Every click runs Start_Click, also while a run is in progress: the window
// handles clicks nested inside the walk's event runs, and the click then asks
// the run to stop (or, right after a stop, cancels it or starts a nested run).
class Run_Control {
 public:
  Run_Control(Run_State& state, Window_Ops& window, const Check_Services& services);

  void Start_Click();
  void Recurse_Click(Check_Box_State state);

  // The record of the run under way, or of the last one.
  const Run_Record& Record() const { return record_; }

 private:
  bool Run_Pass(const std::string& root_path, std::unique_ptr<Folder>& root);
  void Begin_Record(const std::string& root);
  void End_Record();
  void Read_End_Health();
  template <typename Value>
  bool Wait_Kept_Alive(const std::shared_future<Value>& answer);
  void Show_Idle();
  void Lock_Inputs();
  void Unlock_Inputs();

  Run_State& state_;
  Window_Ops& window_;
  Check_Services services_;
  Run_Record record_;
  // What ended the run other than a stop, for its record.
  std::string ended_because_;
  Folder_Walk walk_;
};

}  // namespace palvimo
