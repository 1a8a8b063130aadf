#include "platform/worker_file_system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/check_error.h"
#include "support/gate.h"
#include "support/temp_tree.h"
#include "tests/platform/counting_event_pump.h"

namespace palvimo {
namespace {

using testing::Counting_Event_Pump;
using testing::Gate;
using testing::Temp_Tree;

// One folder whose file listing yields `names`, then fails, each read first
// waiting at the gate.
class Scripted_Folder final : public Folder {
 public:
  Scripted_Folder(std::vector<std::string> names, std::shared_ptr<Gate> gate)
      : names_(std::move(names)), gate_(std::move(gate)) {}

  const std::string& Path() const override { return path_; }
  std::string Path_Of(const std::string& name) const override { return path_ + "/" + name; }
  std::unique_ptr<Entry_Cursor> Subfolders() override { return Files(); }
  std::unique_ptr<Entry_Cursor> Files() override { return std::make_unique<Cursor>(names_, gate_); }
  std::unique_ptr<Folder> Open_Subfolder(const std::string& name) override { throw Check_Error(Path_Of(name), "none"); }
  std::intptr_t Native_Handle() const override { return -1; }

 private:
  class Cursor final : public Entry_Cursor {
   public:
    Cursor(std::vector<std::string> names, std::shared_ptr<Gate> gate)
        : names_(std::move(names)), gate_(std::move(gate)) {}
    std::optional<std::string> Next() override {
      gate_->Wait();
      if (next_ == names_.size()) throw Check_Error("/scripted", "cannot read: Input/output error");
      return names_[next_++];
    }

   private:
    std::vector<std::string> names_;
    std::shared_ptr<Gate> gate_;
    std::size_t next_ = 0;
  };

  std::string path_ = "/scripted";
  std::vector<std::string> names_;
  std::shared_ptr<Gate> gate_;
};

// Its folder opens once `open_gate`, when there is one, is open.
class Scripted_File_System final : public File_System {
 public:
  Scripted_File_System(std::vector<std::string> names, std::shared_ptr<Gate> gate,
                       std::shared_ptr<Gate> open_gate = nullptr)
      : names_(std::move(names)), gate_(std::move(gate)), open_gate_(std::move(open_gate)) {}
  std::unique_ptr<Folder> Open_Folder(const std::string&) override {
    if (open_gate_) open_gate_->Wait();
    return std::make_unique<Scripted_Folder>(names_, gate_);
  }

 private:
  std::vector<std::string> names_;
  std::shared_ptr<Gate> gate_;
  std::shared_ptr<Gate> open_gate_;
};

std::vector<std::string> Names(Entry_Cursor& cursor) {
  std::vector<std::string> names;
  while (auto name = cursor.Next()) names.push_back(*name);
  return names;
}

// Read through the worker, a folder lists exactly as it does directly, in
// the same order, across batches.
TEST(Worker_File_System_Test, ListsAsTheFileSystemItReadsFrom) {
  Temp_Tree tree;
  for (int i = 0; i < 1200; ++i) tree.Write_File("many/f" + std::to_string(i));
  tree.Make_Dir("many/sub");
  Counting_Event_Pump events;
  Io_Worker worker(events);
  const std::shared_ptr<File_System> local = Make_Local_File_System();
  const auto files = Make_Worker_File_System(local, worker);

  const auto direct = local->Open_Folder(tree.Path("many"));
  const auto through_worker = files->Open_Folder(tree.Path("many"));
  EXPECT_EQ(Names(*through_worker->Files()), Names(*direct->Files()));
  EXPECT_EQ(Names(*through_worker->Subfolders()), std::vector<std::string>{"sub"});
  EXPECT_EQ(through_worker->Open_Subfolder("sub")->Path(), tree.Path("many/sub"));
}

// A listing that fails midway yields every entry read before the failure,
// then fails, as it would read directly.
TEST(Worker_File_System_Test, FailureMidwayComesAfterTheEntriesBeforeIt) {
  auto gate = std::make_shared<Gate>();
  gate->Open();
  const auto scripted = std::make_shared<Scripted_File_System>(std::vector<std::string>{"a", "b", "c"}, gate);
  Counting_Event_Pump events;
  Io_Worker worker(events);
  const auto cursor = Make_Worker_File_System(scripted, worker)->Open_Folder("/scripted")->Files();
  for (const char* name : {"a", "b", "c"}) EXPECT_EQ(cursor->Next(), name);
  EXPECT_THROW(cursor->Next(), Check_Error);
}

// The drive stalls on a folder's listing: the window is kept alive all the
// while, and ending the program does not wait for the drive.
TEST(Worker_File_System_Test, StalledListingKeepsTheWindowAliveAndEndsAtOnce) {
  auto gate = std::make_shared<Gate>();
  const auto scripted = std::make_shared<Scripted_File_System>(std::vector<std::string>{"a"}, gate);
  Counting_Event_Pump events;
  events.End_At_Keep_Alive = 5;
  {
    Io_Worker worker(events);
    const auto cursor = Make_Worker_File_System(scripted, worker)->Open_Folder("/scripted")->Files();
    EXPECT_THROW(cursor->Next(), Program_End);
    EXPECT_EQ(events.Keep_Alives(), 5);
  }
  // The drive answers after all; the worker let go of finishes alone.
  gate->Open();
}

// A job that an ending program leaves running on a stalled drive owns the
// file system it works on: the caller's dropping its own handles does not
// destroy it under the job.
TEST(Worker_File_System_Test, JobLeftRunningOwnsTheFileSystemItUses) {
  auto open_gate = std::make_shared<Gate>();
  auto scripted = std::make_shared<Scripted_File_System>(std::vector<std::string>{"a"}, open_gate, open_gate);
  const std::weak_ptr<File_System> watched = scripted;
  Counting_Event_Pump events;
  events.End_At_Keep_Alive = 2;
  Io_Worker worker(events);
  EXPECT_THROW(Make_Worker_File_System(std::move(scripted), worker)->Open_Folder("/scripted"), Program_End);
  EXPECT_FALSE(watched.expired());
  open_gate->Open();
  for (int tries = 0; !watched.expired() && tries < 1000; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(watched.expired());
}

}  // namespace
}  // namespace palvimo
