#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

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

  void Run_Pending_Events() override {
    const int run = ++runs_;
    log_.push_back("events");
    if (auto found = handlers_.find(run); found != handlers_.end()) {
      for (auto& handler : found->second) handler();
    }
    if (ended_) throw Program_End{};
  }
  bool Keep_Alive() override {
    ++keep_alives_;
    return !ended_;
  }
  void End_Program() override { ended_ = true; }

 private:
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
// cannot be opened, or one whose file enumeration fails after some entries.
class Faulty_File_System : public File_System {
 public:
  explicit Faulty_File_System(File_System& real) : real_(real) {}

  std::set<std::string> Unopenable;
  std::map<std::string, int> Files_Fail_After;

  std::unique_ptr<Folder> Open_Folder(const std::string& path) override {
    if (Unopenable.count(path)) throw Check_Error(path, "cannot open");
    auto folder = real_.Open_Folder(path);
    const auto fail = Files_Fail_After.find(path);
    if (fail == Files_Fail_After.end()) return folder;
    return std::make_unique<Failing_Folder>(std::move(folder), fail->second);
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

  class Failing_Folder : public Folder {
   public:
    Failing_Folder(std::unique_ptr<Folder> real, int fail_after) : real_(std::move(real)), fail_after_(fail_after) {}
    const std::string& Path() const override { return real_->Path(); }
    std::unique_ptr<Entry_Cursor> Subfolders() override { return real_->Subfolders(); }
    std::unique_ptr<Entry_Cursor> Files() override {
      return std::make_unique<Failing_Cursor>(real_->Files(), real_->Path(), fail_after_);
    }

   private:
    std::unique_ptr<Folder> real_;
    int fail_after_;
  };

  File_System& real_;
};

}  // namespace palvimo::testing
