#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/catalogue.h"
#include "engine/check_services.h"
#include "engine/failure_log.h"
#include "engine/overwrite_guard.h"
#include "engine/run_record.h"
#include "engine/run_state.h"
#include "engine/window_ops.h"
#include "platform/check_error.h"

namespace palvimo {

// A random number strictly below this picks a file or a subfolder.
inline constexpr float Pick_Threshold = 0.1f;

// Raised out of a pass when its root folder cannot be opened or read.
class Root_Unreachable : public Check_Error {
 public:
  explicit Root_Unreachable(const Check_Error& cause) : Check_Error(cause) {}
};

// The random walk of one pass over a folder tree, probing picked files.
class Folder_Walk {
 public:
  // Every probe is added to `record`.
  Folder_Walk(Run_State& state, Window_Ops& window, const Check_Services& services, Run_Record& record);

  // Opens the root folder of a run, which every pass then walks from, so
  // that a root renamed, replaced by a link or unmounted meanwhile is never
  // followed. Throws Root_Unreachable.
  std::unique_ptr<Folder> Open_Root(const std::string& path);
  // Walks the root folder of a pass. Throws Root_Unreachable when the root
  // cannot be read, and Check_Error for a later failure that no folder guard
  // caught; Program_End passes through.
  void Walk_Root(Folder& root);

  // How many times the walk has run pending window events so far.
  std::uint64_t Event_Runs() const { return event_runs_; }
  // How many random numbers the walk has drawn so far.
  std::uint64_t Draws() const { return draws_; }
  // Writes what the failure lines held back, at the end of a run.
  void Flush_Failure_Log() { failures_.Flush(); }

 private:
  struct Listing;

  static void Take_Collections(Folder& folder, Listing& listing);
  void Walk_Folder(Folder& parent, const std::string& name);
  void Walk_Listing(Folder& folder, Listing& listing);
  bool Picked();
  void Probe_File(Folder& folder, const std::string& name, const std::string& path);
  void Run_Pending_Events();
  void Guard_After_Copy(std::uint64_t bytes_written, bool copy_differed);

  Run_State& state_;
  Window_Ops& window_;
  Check_Services services_;
  Run_Record& record_;
  Failure_Log failures_;
  std::uint64_t event_runs_ = 0;
  std::uint64_t draws_ = 0;
  // The catalogue of the run's volume, opened with its root.
  std::unique_ptr<Catalogue> catalogue_;
  // Watches, copy by copy, that the drive keeps the files the run read.
  Overwrite_Guard guard_;
};

}  // namespace palvimo
