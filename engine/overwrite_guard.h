#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/check_error.h"
#include "platform/file_stamp.h"
#include "platform/probe_figures.h"

namespace palvimo {

// A file the guard held that the drive no longer gives back as it was.
struct Guard_Finding {
  std::string path;
  Failure_Kind kind = Failure_Kind::Silent_Change;
  std::string reason;
  int error_number = 0;
};

// Watches, while a run writes copies, that the drive keeps what it already
// held: a drive that claims more room than it has stores the copies over
// older data, and a failing one loses it. After every few MiB of copies a
// sample of the files the run read whole is read again from the drive (a
// few MiB, more after large copies, from the files read longest ago, each
// taking its MiB in turn) and compared with the sums of the run's own read.
// Not after every copy: after each of thousands of small copies, reading
// dozens of files cold would cost the run most of its probes. A file whose
// size, modification time and inode are unchanged and whose content is not
// was changed by the drive. The reads run on a thread of their own, so the
// window's thread only waits for them between its events.
class Overwrite_Guard {
 public:
  // The files held at most, the oldest let go first.
  static constexpr std::size_t Files_Held_Most = 4096;
  // What one sample reads at least, and at most however large the copies;
  // copies of Sample_Least in all since the last sample call for the next.
  static constexpr std::uint64_t Sample_Least = std::uint64_t{4} << 20;
  static constexpr std::uint64_t Sample_Most = std::uint64_t{64} << 20;
  // A copy adds an eighth of its size to its sample.
  static constexpr std::uint64_t Copy_Share = 8;
  // The files one sample reads at most, and after a copy that read back
  // different, when every file held may tell where the drive wraps.
  static constexpr std::size_t Files_Per_Sample = 32;
  static constexpr std::size_t Files_Per_Wide_Sample = 256;

  Overwrite_Guard() = default;
  Overwrite_Guard(const Overwrite_Guard&) = delete;
  Overwrite_Guard& operator=(const Overwrite_Guard&) = delete;

  // Forgets every file held, for a new run.
  void Clear();
  // Holds the file at the full path `path` as its probe read it: whole and
  // steady, and found sound; any other read is let go.
  void Hold(const std::string& path, const Probe_Figures& figures);
  // After a copy of `bytes_written` bytes, reads a sample of the files held
  // again once Sample_Least has been written since the last one;
  // `copy_differed` calls for one at once and widens it, since a copy that
  // read back different may be where the drive began to overwrite. Does
  // nothing while a sample is under way or nothing is held.
  void Sample_After_Copy(std::uint64_t bytes_written, bool copy_differed);
  // Waits for the sample, running `run_events` between short waits; gives
  // up once `stop_requested` is true, leaving the reads to end alone. The
  // files the drive changed or can no longer read, each told once; files
  // that someone else changed or removed are let go quietly.
  std::vector<Guard_Finding> Await(const std::function<void()>& run_events, const bool& stop_requested);

  std::size_t Files_Held() const { return held_.size(); }

  // One file's MiB to read again and what they summed to. Public for the
  // reads on the sampling thread.
  struct Sample_Item {
    std::uint64_t serial = 0;
    std::string path;
    File_Stamp stamp;  // as the run read it
    std::vector<std::uint64_t> chunks;
    std::vector<std::uint64_t> expected;
  };
  enum class Item_End { Same, Let_Go, Found };
  struct Item_Result {
    std::uint64_t serial = 0;
    Item_End end = Item_End::Same;
    std::optional<Guard_Finding> finding;
  };

 private:
  struct Held_File {
    std::uint64_t serial = 0;
    std::string path;
    File_Stamp stamp;
    std::vector<std::uint64_t> sums;
    std::uint64_t next_chunk = 0;
  };

  void Let_Go(std::uint64_t serial);

  // Least recently read first.
  std::deque<Held_File> held_;
  std::uint64_t next_serial_ = 1;
  // Bytes of copies written since the last sample began.
  std::uint64_t written_since_sample_ = 0;
  std::optional<std::future<std::vector<Item_Result>>> sample_;
};

// The sentence that leads the verdict of a run the guard stopped:
// "The drive changed 3 files it already held after copies were written to
// it (after 612 MB of copies, with 740 MB said to be free): ...".
std::string Writing_Stopped_Sentence(std::uint64_t files_changed, std::uint64_t bytes_written,
                                     std::optional<std::uint64_t> free_at_start);

}  // namespace palvimo
