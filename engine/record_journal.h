#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "engine/record_listener.h"

namespace palvimo {

// Keeps each run's record on disk as it happens, one JSON Lines file a run
// named by its start in UTC: a first line with the program, the root, its
// volume and the settings, a line for each failure, written and flushed to
// the drive as it happens so that a crash or a power cut keeps it, and a
// summary line when the run ends. The files are written on a thread of
// their own: a record that is slow or cannot be written (a read-only or full
// home) never stops or slows the check.
class Record_Journal final : public Record_Listener {
 public:
  // A record stops growing past this size; later failures are only counted.
  static constexpr std::uint64_t Largest_Record = 10'000'000;
  // Only the newest records are kept.
  static constexpr std::size_t Records_Kept = 100;

  // Records runs in `folder`, made when needed. Why a record cannot be
  // written is said once on `log`.
  Record_Journal(std::string folder, std::ostream& log);
  // Waits a moment for the lines still on their way, then lets them go.
  ~Record_Journal() override;

  void Run_Began(const Run_Record& record) override;
  void Probe_Failed(const Run_Record& record, const Failure_Entry& failure) override;
  void Run_Ended(const Run_Record& record) override;

  // The file of the current or last run; empty before the first run.
  std::string Path() const;
  // Why the records cannot be written, from the first time one could not.
  std::optional<std::string> Problem() const;

 private:
  struct Writer;
  void Say_Problem();

  std::shared_ptr<Writer> writer_;
  std::ostream& log_;
  bool problem_said_ = false;
};

// The program's own state on this machine: $XDG_STATE_HOME/palvimo, by
// default ~/.local/state/palvimo. Empty when neither variable is set.
std::string Default_State_Folder();

// Where records are kept: $XDG_STATE_HOME/palvimo/runs, by default
// ~/.local/state/palvimo/runs. Empty when neither variable is set.
std::string Default_Record_Folder();

// Where a record's file stands among the runs: its start, then the number
// that sets apart runs begun in the same second (0 for the first).
using Record_Order = std::pair<std::string, unsigned>;
// The order of `name` when it is one a run gives its record,
// "20261208T031713Z.jsonl" or "20261208T031713Z-2.jsonl"; nothing for any
// other name, which is never ours to read or remove.
std::optional<Record_Order> Order_Of_Record(std::string_view name);

}  // namespace palvimo
