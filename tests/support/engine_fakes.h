#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/run_report.h"
#include "engine/window_ops.h"
#include "platform/check_error.h"
#include "platform/file_system.h"
#include "platform/runtime.h"

namespace palvimo::testing {

// One log shared by the fakes, so that a test can check the order in which
// the check touched the window, ran events and paused.
using Call_Log = std::vector<std::string>;

inline const char* Input_Name(Input input) {
  switch (input) {
    case Input::Delay_Text: return "Delay_Text";
    case Input::Ext_Text: return "Ext_Text";
    case Input::Result_File: return "Result_File";
    case Input::Result_Dir: return "Result_Dir";
    case Input::Result_Drive: return "Result_Drive";
    case Input::Recurse_Check: return "Recurse_Check";
  }
  return "?";
}

// A window that records every operation and can be told to fail one.
class Recording_Window : public Window_Ops {
 public:
  explicit Recording_Window(Call_Log& log) : log_(log) {}

  std::string Root = "/nonexistent";
  std::string Extension = ".PVF";
  std::string Delay = "0";
  std::string Caption = "&Start";
  std::string Status;
  std::string Count = "0";
  std::string Shown_Folder;
  std::string Verdict;
  std::set<Input> Locked;
  // Show_Folder throws Check_Error for these folders.
  std::set<std::string> Failing_Folders;

  std::string Read_Root_Path() override { return Root; }
  void Show_Folder(const std::string& path) override {
    if (Failing_Folders.count(path)) throw Check_Error(path, "cannot show");
    Shown_Folder = path;
    log_.push_back("folder " + path);
  }
  void Set_Status(const std::string& text) override {
    Status = text;
    log_.push_back("status " + text);
  }
  void Show_Failure(const std::string& path, const std::string& reason) override {
    Status = path + ": " + reason;
    log_.push_back("failure " + Status);
  }
  void Show_Count(const std::string& text) override {
    Count = text;
    log_.push_back("count " + text);
  }
  std::string Read_Extension() override { return Extension; }
  std::string Read_Delay() override { return Delay; }
  void Set_Button_Caption(const std::string& caption) override {
    Caption = caption;
    log_.push_back("caption " + caption);
  }
  void Set_Locked(Input input, bool locked) override {
    if (locked) Locked.insert(input); else Locked.erase(input);
    log_.push_back(std::string(locked ? "lock " : "unlock ") + Input_Name(input));
  }
  void Show_Record(const Run_Record&) override {}
  void Show_Verdict(const Run_Record& record) override {
    Verdict = Verdict_Text(record);
    log_.push_back("verdict");
  }

 private:
  Call_Log& log_;
};

// An event pump that runs scripted handlers, nested, at chosen event runs.
class Scripted_Pump : public Event_Pump {
 public:
  explicit Scripted_Pump(Call_Log& log) : log_(log) {}

  // Runs `handler` inside the n-th event run (counting from 1).
  void At(int run, std::function<void()> handler) { handlers_[run].push_back(std::move(handler)); }
  int Runs() const { return runs_; }
  int Keep_Alives() const { return keep_alives_; }

  void Run_Pending_Events() override { Run("events"); }
  // Counts as an event run of its own, logged as "wait".
  void Wait_For_Events(std::chrono::milliseconds) override { Run("wait"); }
  bool Keep_Alive() override {
    ++keep_alives_;
    return !ended_;
  }
  void End_Program() override { ended_ = true; }

 private:
  void Run(const char* what) {
    const int run = ++runs_;
    log_.push_back(what);
    if (auto found = handlers_.find(run); found != handlers_.end()) {
      for (auto& handler : found->second) handler();
    }
    if (ended_) throw Program_End{};
  }

  Call_Log& log_;
  std::map<int, std::vector<std::function<void()>>> handlers_;
  int runs_ = 0;
  int keep_alives_ = 0;
  bool ended_ = false;
};

// Random numbers from a script; once the script runs out every number is
// 0.5, which picks nothing.
class Scripted_Random : public Random_Source {
 public:
  explicit Scripted_Random(Call_Log& log) : log_(log) {}

  std::deque<float> Script;
  int Draws = 0;
  int Reseeds = 0;

  float Next() override {
    ++Draws;
    if (Script.empty()) return 0.5f;
    const float next = Script.front();
    Script.pop_front();
    return next;
  }
  void Reseed() override {
    ++Reseeds;
    log_.push_back("reseed");
  }

 private:
  Call_Log& log_;
};

class Recording_Pauser : public Pauser {
 public:
  explicit Recording_Pauser(Call_Log& log) : log_(log) {}
  void Pause(std::uint32_t milliseconds) override { log_.push_back("pause " + std::to_string(milliseconds)); }

 private:
  Call_Log& log_;
};

// The real file system, with failures injected at chosen folders: one that
// cannot be opened, or one whose file enumeration fails after some entries
// (after none: at its first read, when the collection is taken).
class Faulty_File_System : public File_System {
 public:
  explicit Faulty_File_System(File_System& real) : real_(real) {}

  std::set<std::string> Unopenable;
  std::map<std::string, int> Files_Fail_After;

  std::unique_ptr<Folder> Open_Folder(const std::string& path) override {
    if (Unopenable.count(path)) throw Check_Error(path, "cannot open");
    return std::make_unique<Faulty_Folder>(*this, real_.Open_Folder(path));
  }

 private:
  class Failing_Cursor : public Entry_Cursor {
   public:
    Failing_Cursor(std::unique_ptr<Entry_Cursor> real, std::string path, int left)
        : real_(std::move(real)), path_(std::move(path)), left_(left) {}
    std::optional<std::string> Next() override {
      if (left_-- == 0) throw Check_Error(path_, "enumeration failed");
      return real_->Next();
    }

   private:
    std::unique_ptr<Entry_Cursor> real_;
    std::string path_;
    int left_;
  };

  class Faulty_Folder : public Folder {
   public:
    Faulty_Folder(Faulty_File_System& files, std::unique_ptr<Folder> real)
        : files_(files), real_(std::move(real)) {}
    const std::string& Path() const override { return real_->Path(); }
    std::string Path_Of(const std::string& name) const override { return real_->Path_Of(name); }
    std::unique_ptr<Entry_Cursor> Subfolders() override { return real_->Subfolders(); }
    std::unique_ptr<Entry_Cursor> Files() override {
      const auto fail = files_.Files_Fail_After.find(Path());
      if (fail == files_.Files_Fail_After.end()) return real_->Files();
      if (fail->second == 0) throw Check_Error(Path(), "cannot read");
      return std::make_unique<Failing_Cursor>(real_->Files(), Path(), fail->second);
    }
    std::unique_ptr<Folder> Open_Subfolder(const std::string& name) override {
      if (files_.Unopenable.count(Path_Of(name))) throw Check_Error(Path_Of(name), "cannot open");
      return std::make_unique<Faulty_Folder>(files_, real_->Open_Subfolder(name));
    }
    std::intptr_t Native_Handle() const override { return real_->Native_Handle(); }

   private:
    Faulty_File_System& files_;
    std::unique_ptr<Folder> real_;
  };

  File_System& real_;
};

}  // namespace palvimo::testing
