#include "engine/run_control.h"

#include <chrono>
#include <exception>
#include <utility>

#include "engine/extension_rule.h"
#include "engine/run_report.h"
#include "platform/escaped_text.h"

namespace palvimo {

namespace {

// How long a pass that drew nothing waits for window events before the next.
constexpr std::chrono::milliseconds Idle_Pass_Wait{100};

constexpr Input Lock_Order[] = {Input::Delay_Text, Input::Ext_Text,     Input::Result_File,
                                Input::Result_Dir, Input::Result_Drive, Input::Recurse_Check};
constexpr Input Unlock_Order[] = {Input::Delay_Text,  Input::Ext_Text,   Input::Recurse_Check,
                                  Input::Result_File, Input::Result_Dir, Input::Result_Drive};

}  // namespace

Run_Control::Run_Control(Run_State& state, Window_Ops& window, const Check_Services& services)
    : state_(state), window_(window), services_(services), walk_(state, window, services, record_) {}

void Run_Control::Start_Click() {
  const std::string root = window_.Read_Root_Path();
  state_.File_Count = 0;
  if (state_.Is_Running) {
    state_.Stop_Requested = true;
  } else {
    // A click that cannot start a safe run starts nothing and says why; the
    // window keeps the look it has. While a stop is pending the click begins
    // no pass, only cancels the stop, so the extension does not matter then.
    if (!state_.Stop_Requested) {
      if (const auto problem = Extension_Problem(window_.Read_Extension())) {
        window_.Set_Status(*problem);
        return;
      }
    }
    Lock_Inputs();
    // A click that only cancels a pending stop begins no run of its own.
    const bool begins = !state_.Stop_Requested;
    if (begins) Begin_Record(root);
    try {
      std::unique_ptr<Folder> held_root;
      while (!state_.Stop_Requested) {
        window_.Set_Button_Caption("S&top");
        state_.Is_Running = true;
        services_.Random.Reseed();
        if (!Run_Pass(root, held_root)) break;
      }
    } catch (...) {
      // Whatever ends the run, the window is left idle and usable, and what
      // the run found is said.
      state_.Stop_Requested = false;
      if (begins) End_Record();
      Show_Idle();
      throw;
    }
    state_.Stop_Requested = false;
    if (begins) End_Record();
  }
  Show_Idle();
}

void Run_Control::Begin_Record(const std::string& root) {
  record_.Begin(root, Run_Settings{window_.Read_Extension(), window_.Read_Delay(), state_.Recurse_On});
  ended_because_.clear();
  // The record's first line names the drive, so the run waits for it; the
  // window keeps answering meanwhile, and an end asked for stops the wait.
  if (services_.Drive) {
    const auto found = services_.Drive->Look_Up(root);
    if (Wait_Kept_Alive(found)) {
      Drive_Found drive = found.get();
      record_.Set_Drive(std::move(drive.volume), std::move(drive.identity), std::move(drive.health));
    }
  }
  if (services_.Journal) services_.Journal->Run_Began(record_);
  window_.Show_Record(record_);
}

void Run_Control::End_Record() {
  record_.End(std::exchange(ended_because_, {}));
  Read_End_Health();
  walk_.Flush_Failure_Log();
  services_.Log << "palvimo: " << Escaped_Text(Verdict_Text(record_)) << std::endl;
  if (services_.Journal) services_.Journal->Run_Ended(record_);
  window_.Show_Verdict(record_);
}

// The drive's health again, now that the run has done its work on it: a
// drive that got worse meanwhile is a fault of its own. Only a drive whose
// health could be read at the start is asked; a program being ended asks
// nothing more.
void Run_Control::Read_End_Health() {
  const auto& drive = record_.Drive();
  const auto& start = record_.Start_Health();
  if (!services_.Drive || !drive || !drive->disk || !start || !start->available) return;
  if (!services_.Events.Keep_Alive()) return;
  const auto health = services_.Drive->Read_Health(*drive->disk);
  if (!Wait_Kept_Alive(health)) return;
  if (const auto fault = record_.Set_End_Health(health.get())) {
    if (services_.Journal) services_.Journal->Probe_Failed(record_, *fault);
    window_.Show_Failure(fault->path, fault->reason);
  }
}

template <typename Value>
bool Run_Control::Wait_Kept_Alive(const std::shared_future<Value>& answer) {
  constexpr std::chrono::milliseconds Slice{20};
  while (answer.wait_for(Slice) != std::future_status::ready) {
    if (!services_.Events.Keep_Alive()) return false;
  }
  return true;
}

void Run_Control::Show_Idle() {
  window_.Set_Button_Caption("&Start");
  Unlock_Inputs();
  state_.Is_Running = false;
}

void Run_Control::Recurse_Click(Check_Box_State check) {
  state_.Recurse_On = check != Check_Box_State::Unchecked;
}

// One pass of the walk; false when the run must end because its root folder
// cannot be opened or listed. The root is opened at the run's first pass and
// held for the others. A later failure that no folder guard caught ends only
// this pass.
bool Run_Control::Run_Pass(const std::string& root_path, std::unique_ptr<Folder>& root) {
  const auto event_runs_before = walk_.Event_Runs();
  const auto draws_before = walk_.Draws();
  try {
    if (!root) root = walk_.Open_Root(root_path);
    walk_.Walk_Root(*root);
  } catch (const Root_Unreachable& error) {
    ended_because_ = "Cannot open the folder: " + error.Path() + " (" + error.Reason() + ")";
    return false;
  } catch (const std::exception&) {
  }
  // A pass that picked nothing ran no window events; run them here, so that a
  // stop request is always seen. One that found nothing at all to draw for
  // (an empty root, or one gone) waits for the window a while instead of
  // spinning.
  if (walk_.Draws() == draws_before) {
    services_.Events.Wait_For_Events(Idle_Pass_Wait);
  } else if (walk_.Event_Runs() == event_runs_before) {
    services_.Events.Run_Pending_Events();
  }
  return true;
}

void Run_Control::Lock_Inputs() {
  for (const Input input : Lock_Order) window_.Set_Locked(input, true);
}

void Run_Control::Unlock_Inputs() {
  for (const Input input : Unlock_Order) window_.Set_Locked(input, false);
}

}  // namespace palvimo
