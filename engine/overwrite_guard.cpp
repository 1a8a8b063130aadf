#include "engine/overwrite_guard.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>

#include "engine/catalogue.h"
#include "engine/run_report.h"
#include "platform/chunk_sample.h"
#include "platform/chunk_sums.h"

namespace palvimo {

namespace {

// The longest the window goes without its events while a sample is read.
constexpr std::chrono::milliseconds Event_Interval{20};

using Item_Result = Overwrite_Guard::Item_Result;
using Item_End = Overwrite_Guard::Item_End;

Item_Result Read_Again(const Overwrite_Guard::Sample_Item& item, std::span<std::byte> buffer) {
  Item_Result result{item.serial, Item_End::Same, std::nullopt};
  try {
    const Chunk_Sample sample = Read_Chunk_Sample(item.path, item.chunks, buffer);
    // Someone else's change moves the size or the modification time; a file
    // put in its place is another inode.
    if (sample.stamp.size != item.stamp.size || sample.stamp.mtime_ns != item.stamp.mtime_ns ||
        sample.stamp.inode != item.stamp.inode) {
      result.end = Item_End::Let_Go;
      return result;
    }
    for (std::size_t at = 0; at < item.chunks.size(); ++at) {
      if (sample.sums[at] == item.expected[at]) continue;
      result.end = Item_End::Found;
      result.finding = Guard_Finding{
          item.path, Failure_Kind::Silent_Change,
          Silent_Change_Reason(item.chunks[at] * Chunk_Sums::Chunk_Size) + " after copies were written", 0};
      return result;
    }
  } catch (const Check_Error& error) {
    // A file removed or locked meanwhile is the user's doing; one the drive
    // will no longer give is lost as surely as one it changed.
    result.end = Item_End::Let_Go;
    if (Class_Of(error.Kind()) == Failure_Class::Drive_Fault) {
      result.end = Item_End::Found;
      result.finding = Guard_Finding{item.path, Failure_Kind::Read,
                                     error.Reason() + ", after copies were written, though it was read before",
                                     error.Error_Number()};
    }
  }
  return result;
}

}  // namespace

void Overwrite_Guard::Clear() {
  held_.clear();
  sample_.reset();
  written_since_sample_ = 0;
}

void Overwrite_Guard::Hold(const std::string& path, const Probe_Figures& figures) {
  const auto same = std::find_if(held_.begin(), held_.end(), [&](const Held_File& file) { return file.path == path; });
  if (same != held_.end()) held_.erase(same);
  // Only a whole, steady read has sums of every MiB; an empty file holds
  // nothing a drive could change.
  if (figures.stamp.size == 0 || figures.bytes_read != figures.stamp.size ||
      figures.chunk_sums.size() != (figures.stamp.size + Chunk_Sums::Chunk_Size - 1) / Chunk_Sums::Chunk_Size) {
    return;
  }
  if (held_.size() == Files_Held_Most) held_.pop_front();
  held_.push_back(Held_File{next_serial_++, path, figures.stamp, figures.chunk_sums, 0});
}

void Overwrite_Guard::Sample_After_Copy(std::uint64_t bytes_written, bool copy_differed) {
  written_since_sample_ += bytes_written;
  if (sample_ || held_.empty() || (written_since_sample_ < Sample_Least && !copy_differed)) return;
  const std::uint64_t budget =
      copy_differed ? Sample_Most
                    : std::clamp(Sample_Least + written_since_sample_ / Copy_Share, Sample_Least, Sample_Most);
  written_since_sample_ = 0;
  const std::size_t files = std::min(held_.size(), copy_differed ? Files_Per_Wide_Sample : Files_Per_Sample);
  const std::uint64_t share = std::max<std::uint64_t>(Chunk_Sums::Chunk_Size, budget / files);
  auto items = std::make_shared<std::vector<Sample_Item>>();
  std::uint64_t taken = 0;
  for (std::size_t at = 0; at < files && taken < budget; ++at) {
    // The file read longest ago goes to the back: the next sample starts
    // with the next oldest.
    Held_File file = std::move(held_.front());
    held_.pop_front();
    Sample_Item item{file.serial, file.path, file.stamp, {}, {}};
    const std::uint64_t chunk_count = file.sums.size();
    std::uint64_t file_bytes = 0;
    while (file_bytes < share && item.chunks.size() < chunk_count) {
      const std::uint64_t chunk = file.next_chunk;
      file.next_chunk = (file.next_chunk + 1) % chunk_count;
      item.chunks.push_back(chunk);
      item.expected.push_back(file.sums[chunk]);
      file_bytes += std::min<std::uint64_t>(Chunk_Sums::Chunk_Size, file.stamp.size - chunk * Chunk_Sums::Chunk_Size);
    }
    taken += file_bytes;
    items->push_back(std::move(item));
    held_.push_back(std::move(file));
  }
  std::promise<std::vector<Item_Result>> promise;
  sample_ = promise.get_future();
  // The thread owns all it reads with: a drive that stalls it keeps it
  // past the guard's end, harmlessly.
  std::thread([items, promise = std::move(promise)]() mutable {
    try {
      std::vector<std::byte> buffer(Chunk_Sums::Chunk_Size);
      std::vector<Item_Result> results;
      for (const Sample_Item& item : *items) results.push_back(Read_Again(item, buffer));
      promise.set_value(std::move(results));
    } catch (...) {
      promise.set_exception(std::current_exception());
    }
  }).detach();
}

std::vector<Guard_Finding> Overwrite_Guard::Await(const std::function<void()>& run_events,
                                                  const bool& stop_requested) {
  std::vector<Guard_Finding> findings;
  if (!sample_) return findings;
  while (sample_->wait_for(Event_Interval) != std::future_status::ready) {
    if (stop_requested) {
      sample_.reset();
      return findings;
    }
    run_events();
  }
  const std::vector<Item_Result> results = sample_->get();
  sample_.reset();
  for (const Item_Result& result : results) {
    if (result.end == Item_End::Same) continue;
    // A file found changed is told once: the next samples go on with the rest.
    Let_Go(result.serial);
    if (result.finding) findings.push_back(*result.finding);
  }
  return findings;
}

void Overwrite_Guard::Let_Go(std::uint64_t serial) {
  const auto found =
      std::find_if(held_.begin(), held_.end(), [&](const Held_File& file) { return file.serial == serial; });
  if (found != held_.end()) held_.erase(found);
}

std::string Writing_Stopped_Sentence(std::uint64_t files_changed, std::uint64_t bytes_written,
                                     std::optional<std::uint64_t> free_at_start) {
  std::string how_far = "after " + Format_Bytes(bytes_written) + " of copies";
  if (free_at_start) how_far += ", with " + Format_Bytes(*free_at_start) + " said to be free";
  return "The drive changed " + Format_Count_Of(files_changed, "file", "files") +
         " it already held after copies were written to it (" + how_far +
         "): it may hold less than it claims (a counterfeit), or be failing. Writing was stopped; copy what you "
         "can off it now.";
}

}  // namespace palvimo
