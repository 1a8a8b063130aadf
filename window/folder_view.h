#pragma once

#include <QListView>
#include <memory>
#include <string>
#include <vector>

#include "platform/check_error.h"
#include "platform/file_system.h"

class QTimer;

namespace palvimo {

// What a read of one folder found.
struct Folder_Contents {
  // The folder's full path as its file system gives it.
  std::string Path;
  // The folders from the mount point of the folder's file system down to the
  // folder itself; read along with subfolders only.
  std::vector<std::string> Chain;
  // In name order: the full paths of the folder's subfolders, or the names of
  // its files.
  std::vector<std::string> Entries;
};

// A list of the navigator that shows what one folder holds, read on a thread
// of its own, so that a drive that stalls never holds up the window. While a
// folder is being read the list shows "Reading…", greyed, over no entries.
// Only the newest read is shown: one asked for before it is dropped, whether
// still reading or done, and stops at its next entry. Each list reads on one
// thread of its own, one folder at a time: a move made while a read stalls
// waits for it, in place of any other move still waiting, so that a drive
// that stalls holds one thread of the list's, however often the user moves.
class Folder_View : public QListView {
  Q_OBJECT

 public:
  // Which entries a read lists.
  enum class Listing { Subfolders, Files };

  // A read still waiting on its drive goes on alone, holding only what it
  // shares by ownership, and is never shown; its thread ends after it.
  ~Folder_View() override;

  // Whether the list is waiting for a folder to be read.
  bool Reading() const { return reading_; }

 protected:
  Folder_View(std::shared_ptr<File_System> files, Listing listing, QWidget* parent);

  // Reads the folder at `path` off the window's thread. Listed, or
  // Not_Listed when it cannot be read (or no thread can be started to read
  // it), follows on the window's thread at an event run that handles
  // timers, unless Read is called again first.
  void Read(const std::string& path);
  virtual void Listed(Folder_Contents contents) = 0;
  virtual void Not_Listed(const Check_Error& error) = 0;

  void paintEvent(QPaintEvent* event) override;

 private:
  struct Hand_Back;

  // Shows the newest read's outcome once it has come.
  void Take_Outcome();

  std::shared_ptr<File_System> files_;
  Listing listing_;
  std::shared_ptr<Hand_Back> hand_back_;
  QTimer* const look_;
  bool reading_ = false;
};

}  // namespace palvimo
