#pragma once

#include <string>

#include "engine/run_record.h"
#include "platform/interface.h"

namespace palvimo {

// The inputs that shape a run and are locked while it goes on.
enum class Input { Delay_Text, Ext_Text, Result_File, Result_Dir, Result_Drive, Recurse_Check };

// Everything the check does to the window, each operation on one control.
// The main window carries them out; the check never touches a widget.
class Window_Ops : public Interface {
 public:
  // Result_Dir's current path.
  virtual std::string Read_Root_Path() = 0;
  // Sets Result_Dir's path; when it changes, the file list follows at once.
  virtual void Show_Folder(const std::string& path) = 0;
  // Sets Progress_Label's caption.
  virtual void Set_Status(const std::string& text) = 0;
  // Sets Progress_Label's caption to a probed file's path followed by the
  // short reason its probe failed.
  virtual void Show_Failure(const std::string& path, const std::string& reason) = 0;
  // Sets Count_Val's caption.
  virtual void Show_Count(const std::string& text) = 0;
  // Ext_Text's text.
  virtual std::string Read_Extension() = 0;
  // Delay_Text's text.
  virtual std::string Read_Delay() = 0;
  // Sets Start_Button's caption.
  virtual void Set_Button_Caption(const std::string& caption) = 0;
  // Clears (locked) or sets (unlocked) the input's enabled state.
  virtual void Set_Locked(Input input, bool locked) = 0;
  // The run's record changed: a run began, or a probe was added to it.
  // Called after every probe; shows the figures at a pace of its own.
  virtual void Show_Record(const Run_Record& record) = 0;
  // The run has ended: shows its verdict until the next run begins.
  virtual void Show_Verdict(const Run_Record& record) = 0;
};

}  // namespace palvimo
