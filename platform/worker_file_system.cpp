#include "platform/worker_file_system.h"

#include <cstddef>
#include <deque>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace palvimo {

namespace {

// Enough entries that handing them over costs nothing beside reading them.
constexpr std::size_t Batch_Size = 512;

// Runs `call` on the worker and returns its result. The result is shared
// with the job, which a program that is ending may leave running.
template <typename Result, typename Call>
Result On_Worker(Io_Worker& worker, Call call) {
  const auto result = std::make_shared<std::optional<Result>>();
  if (!worker.Run([result, call = std::move(call)](std::stop_token) { *result = call(); })) throw Program_End{};
  return std::move(**result);
}

class Worker_Cursor final : public Entry_Cursor {
 public:
  Worker_Cursor(std::shared_ptr<Entry_Cursor> real, Io_Worker& worker) : real_(std::move(real)), worker_(worker) {}

  std::optional<std::string> Next() override {
    if (names_.empty() && !ended_ && !failure_) Read_Batch();
    if (!names_.empty()) {
      std::string name = std::move(names_.front());
      names_.pop_front();
      return name;
    }
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return std::nullopt;
  }

 private:
  struct Batch {
    std::vector<std::string> names;
    bool ended = false;
    std::exception_ptr failure;  // raised once the names before it are taken
  };

  void Read_Batch() {
    Batch batch = On_Worker<Batch>(worker_, [real = real_] {
      Batch read;
      try {
        while (read.names.size() < Batch_Size) {
          std::optional<std::string> name = real->Next();
          if (!name) {
            read.ended = true;
            break;
          }
          read.names.push_back(std::move(*name));
        }
      } catch (const std::exception&) {
        read.failure = std::current_exception();
      }
      return read;
    });
    for (std::string& name : batch.names) names_.push_back(std::move(name));
    ended_ = batch.ended;
    failure_ = batch.failure;
  }

  std::shared_ptr<Entry_Cursor> real_;
  Io_Worker& worker_;
  std::deque<std::string> names_;
  bool ended_ = false;
  std::exception_ptr failure_;
};

class Worker_Folder final : public Folder {
 public:
  Worker_Folder(std::shared_ptr<Folder> real, Io_Worker& worker) : real_(std::move(real)), worker_(worker) {}

  const std::string& Path() const override { return real_->Path(); }
  std::string Path_Of(const std::string& name) const override { return real_->Path_Of(name); }
  std::intptr_t Native_Handle() const override { return real_->Native_Handle(); }

  std::unique_ptr<Entry_Cursor> Subfolders() override {
    return Cursor(On_Worker<std::shared_ptr<Entry_Cursor>>(worker_, [real = real_] {
      return std::shared_ptr<Entry_Cursor>(real->Subfolders());
    }));
  }
  std::unique_ptr<Entry_Cursor> Files() override {
    return Cursor(On_Worker<std::shared_ptr<Entry_Cursor>>(worker_, [real = real_] {
      return std::shared_ptr<Entry_Cursor>(real->Files());
    }));
  }
  std::unique_ptr<Folder> Open_Subfolder(const std::string& name) override {
    return std::make_unique<Worker_Folder>(On_Worker<std::shared_ptr<Folder>>(worker_, [real = real_, name] {
      return std::shared_ptr<Folder>(real->Open_Subfolder(name));
    }), worker_);
  }

 private:
  std::unique_ptr<Entry_Cursor> Cursor(std::shared_ptr<Entry_Cursor> real) {
    return std::make_unique<Worker_Cursor>(std::move(real), worker_);
  }

  std::shared_ptr<Folder> real_;
  Io_Worker& worker_;
};

class Worker_File_System final : public File_System {
 public:
  Worker_File_System(std::shared_ptr<File_System> real, Io_Worker& worker) : real_(std::move(real)), worker_(worker) {}

  std::unique_ptr<Folder> Open_Folder(const std::string& path) override {
    return std::make_unique<Worker_Folder>(On_Worker<std::shared_ptr<Folder>>(worker_, [real = real_, path] {
      return std::shared_ptr<Folder>(real->Open_Folder(path));
    }), worker_);
  }

 private:
  std::shared_ptr<File_System> real_;
  Io_Worker& worker_;
};

}  // namespace

std::unique_ptr<File_System> Make_Worker_File_System(std::shared_ptr<File_System> real, Io_Worker& worker) {
  return std::make_unique<Worker_File_System>(std::move(real), worker);
}

}  // namespace palvimo
