#include "engine/record_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/record_json.h"
#include "engine/run_report.h"
#include "platform/escaped_text.h"
#include "platform/unique_fd.h"
#include "platform/volume_source.h"

namespace palvimo {

namespace {

// How long an ending program waits for the record's last lines.
constexpr std::chrono::seconds Last_Lines_Wait{2};
// How long a failure's line waits for others before it is written.
constexpr std::chrono::milliseconds Gather_Time{250};

std::string Line_Of(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}

// "20261208T031713Z": sorts as the runs began.
std::string File_Stem(std::chrono::system_clock::time_point start) {
  std::string stem = Format_Iso_Utc(start);
  std::erase(stem, '-');
  std::erase(stem, ':');
  return stem;
}

std::string System_Reason(int error_number) { return std::system_category().message(error_number); }

bool Digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}


}  // namespace

std::optional<Record_Order> Order_Of_Record(std::string_view name) {
  constexpr std::string_view Extension = ".jsonl";
  constexpr std::size_t Stem_Size = 16;
  if (!name.ends_with(Extension)) return std::nullopt;
  name.remove_suffix(Extension.size());
  if (name.size() < Stem_Size) return std::nullopt;
  const std::string_view stem = name.substr(0, Stem_Size);
  if (!Digits(stem.substr(0, 8)) || stem[8] != 'T' || !Digits(stem.substr(9, 6)) || stem[15] != 'Z')
    return std::nullopt;
  const std::string_view rest = name.substr(Stem_Size);
  if (rest.empty()) return Record_Order{std::string(stem), 0};
  const std::string_view number = rest.substr(1);
  if (rest[0] != '-' || !Digits(number) || number[0] == '0' || number.size() > 3) return std::nullopt;
  return Record_Order{std::string(stem), static_cast<unsigned>(std::stoul(std::string(number)))};
}

// The part of the journal its thread works on, shared so that a thread let
// go of at the program's end still has it.
struct Record_Journal::Writer {
  using Task = std::function<void(Writer&)>;

  explicit Writer(std::string records_folder) : folder(std::move(records_folder)) {}

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Task> tasks;
  bool busy = false;
  bool closing = false;
  // A task waits for no others: the run's start or end.
  bool urgent = false;
  std::string path;
  std::optional<std::string> problem;

  // Only the thread touches these.
  const std::string folder;
  int fd = -1;
  bool unsynced = false;
  std::uint64_t size = 0;
  std::uint64_t failures_not_written = 0;

  // Hands the thread a task. An urgent one is done at once; a failure's
  // line waits up to Gather_Time for those that follow it, so that a run
  // failing on every tenth file wakes the thread and flushes the record a
  // few times a second instead of once a failure.
  void Post(Task task, bool is_urgent) {
    bool wake = true;
    {
      const std::lock_guard lock(mutex);
      wake = is_urgent || tasks.empty();
      urgent = urgent || is_urgent;
      tasks.push_back(std::move(task));
    }
    if (wake) changed.notify_all();
  }

  void Serve() {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return !tasks.empty() || closing; });
      if (tasks.empty()) break;
      changed.wait_for(lock, Gather_Time, [&] { return urgent || closing; });
      urgent = false;
      busy = true;
      while (!tasks.empty()) {
        Task task = std::move(tasks.front());
        tasks.pop_front();
        lock.unlock();
        task(*this);
        lock.lock();
      }
      // The lines gathered reach the drive together.
      if (unsynced) {
        lock.unlock();
        Sync();
        lock.lock();
      }
      busy = false;
      changed.notify_all();
    }
    Close_File();
  }

  void Fail(const std::string& why) {
    Close_File();
    const std::lock_guard lock(mutex);
    if (!problem) problem = why;
  }

  void Close_File() {
    if (fd >= 0) close(fd);
    fd = -1;
    unsynced = false;
  }

  // Makes the lines written so far lasting.
  void Sync() {
    unsynced = false;
    if (fd >= 0 && fdatasync(fd) != 0 && errno != EINVAL && errno != ENOSYS)
      Fail("cannot flush " + Escaped_Text(path) + ": " + System_Reason(errno));
  }

  // Makes the folder, keeps only the newest records beside the new one, and
  // creates the new one under a name no other run has.
  void Open(std::chrono::system_clock::time_point start, const std::string& header) {
    Close_File();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return Fail("cannot make the folder " + Escaped_Text(folder) + ": " + error.message());
    const Unique_Fd runs = Open_Own_Folder();
    if (!runs.Valid()) return;
    Keep_Newest(runs.Get(), Records_Kept - 1);
    const std::string stem = File_Stem(start);
    std::string name = stem + ".jsonl";
    for (int n = 1; (fd = openat(runs.Get(), name.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600)) < 0;
         ++n) {
      if (errno != EEXIST || n > 99)
        return Fail("cannot create " + Escaped_Text(folder + "/" + name) + ": " + System_Reason(errno));
      name = stem + "-" + std::to_string(n) + ".jsonl";
    }
    {
      const std::lock_guard lock(mutex);
      path = folder + "/" + name;
    }
    size = 0;
    failures_not_written = 0;
    Write(header);
  }

  // The records' folder, when it is the user's own: neither it nor the
  // folder holding it a link, so that pruning never reaches into a folder
  // of another program's that a link leads to. Otherwise why not is failed.
  Unique_Fd Open_Own_Folder() {
    std::filesystem::path runs_path = std::filesystem::path(folder).lexically_normal();
    if (!runs_path.has_filename()) runs_path = runs_path.parent_path();
    const std::string parent = runs_path.has_parent_path() ? runs_path.parent_path().string() : ".";
    const std::string leaf = runs_path.filename().string();
    const auto refused = [&](const std::string& which, int error_number) {
      Fail(error_number == ELOOP || error_number == ENOTDIR
               ? "the folder " + Escaped_Text(which) + " is a link, and records are kept only in a folder of its own"
               : "cannot open the folder " + Escaped_Text(which) + ": " + System_Reason(error_number));
      return Unique_Fd();
    };
    const Unique_Fd holder(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!holder.Valid()) return refused(parent, errno);
    Unique_Fd runs(openat(holder.Get(), leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!runs.Valid()) return refused(folder, errno);
    struct stat info {};
    if (fstat(runs.Get(), &info) != 0) return refused(folder, errno);
    if (info.st_uid != geteuid()) {
      Fail("the folder " + Escaped_Text(folder) +
           " belongs to another user, and records are kept only in a folder of its own");
      return Unique_Fd();
    }
    return runs;
  }

  // Removes the oldest records beyond `count`: only the regular files of
  // the user's named as a run names its record, so that nothing else kept
  // in the folder is ever lost.
  static void Keep_Newest(int runs, std::size_t count) {
    Unique_Fd listing_fd(openat(runs, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing_fd.Valid()) return;
    DIR* const listing = fdopendir(listing_fd.Get());
    if (listing == nullptr) return;
    listing_fd.Release();
    std::vector<std::pair<Record_Order, std::string>> records;
    while (const dirent* entry = readdir(listing)) {
      const std::string_view name = entry->d_name;
      if (auto order = Order_Of_Record(name)) records.emplace_back(std::move(*order), std::string(name));
    }
    closedir(listing);
    std::erase_if(records, [runs](const auto& record) {
      struct stat info {};
      return fstatat(runs, record.second.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
             info.st_uid != geteuid();
    });
    if (records.size() <= count) return;
    std::sort(records.begin(), records.end());
    for (std::size_t i = 0; i < records.size() - count; ++i) unlinkat(runs, records[i].second.c_str(), 0);
  }

  void Append_Failure(const std::string& line) {
    if (fd < 0) return;
    if (size + line.size() > Largest_Record) {
      ++failures_not_written;
      return;
    }
    Write(line);
  }

  void Finish(nlohmann::json summary) {
    if (fd < 0) return;
    summary["failures_not_written"] = failures_not_written;
    Write(Line_Of(summary));
    Sync();
    Close_File();
  }

  // Appends a line; Serve makes it lasting before it waits for more.
  void Write(const std::string& line) {
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
      const ssize_t written = write(fd, data, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return Fail("cannot write " + Escaped_Text(path) + ": " + System_Reason(written < 0 ? errno : ENOSPC));
      data += written;
      left -= static_cast<std::size_t>(written);
    }
    size += line.size();
    unsynced = true;
  }
};

Record_Journal::Record_Journal(std::string folder, std::ostream& log)
    : writer_(std::make_shared<Writer>(std::move(folder))), log_(log) {
  std::thread([writer = writer_] { writer->Serve(); }).detach();
}

Record_Journal::~Record_Journal() {
  std::unique_lock lock(writer_->mutex);
  writer_->closing = true;
  writer_->changed.notify_all();
  writer_->changed.wait_for(lock, Last_Lines_Wait, [&] { return writer_->tasks.empty() && !writer_->busy; });
}

void Record_Journal::Run_Began(const Run_Record& record) {
  Say_Problem();
  nlohmann::json header = Run_Header_Json(record);
  writer_->Post([start = record.Start_Time(), root = record.Root(), header = std::move(header)](Writer& writer) mutable {
#ifdef __linux__
    // A volume the run did not find is looked up here, off the window's
    // thread: it asks the drive.
    if (!header.contains("volume")) header["volume"] = Volume_Json(Volume_Holding(root));
#endif
    writer.Open(start, Line_Of(header));
  }, true);
}

void Record_Journal::Probe_Failed(const Run_Record&, const Failure_Entry& failure) {
  Say_Problem();
  // Made into text on the writer's thread, off the run's.
  writer_->Post([failure](Writer& writer) { writer.Append_Failure(Line_Of(Failure_Json(failure))); }, false);
}

void Record_Journal::Run_Ended(const Run_Record& record) {
  writer_->Post([summary = Summary_Json(record)](Writer& writer) mutable { writer.Finish(std::move(summary)); },
                true);
  Say_Problem();
}

std::string Record_Journal::Path() const {
  const std::lock_guard lock(writer_->mutex);
  return writer_->path;
}

std::optional<std::string> Record_Journal::Problem() const {
  const std::lock_guard lock(writer_->mutex);
  return writer_->problem;
}

void Record_Journal::Say_Problem() {
  if (problem_said_) return;
  if (const auto problem = Problem()) {
    log_ << "palvimo: the run's record is not kept: " << *problem << std::endl;
    problem_said_ = true;
  }
}

std::string Default_State_Folder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    return std::string(state) + "/palvimo";
  }
  if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
    return std::string(home) + "/.local/state/palvimo";
  }
  return {};
}

std::string Default_Record_Folder() {
  const std::string state = Default_State_Folder();
  return state.empty() ? state : state + "/runs";
}

}  // namespace palvimo
