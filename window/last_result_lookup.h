#pragma once

#include <QObject>
#include <functional>
#include <string>

namespace palvimo {

// How the drive of a folder did the last time it was checked, for the
// status line: "Last checked 3 days ago: no drive faults". Looked up on a
// thread of its own, since it reads the kept records and asks the drive.
class Last_Result_Lookup : public QObject {
  Q_OBJECT

 public:
  // `show` gets the sentence on the window's thread, with the one it showed
  // before (empty for none), and says whether it showed it. It gets an
  // empty sentence when the one shown before is no longer the folder's.
  using Show = std::function<bool(const std::string& text, const std::string& before)>;
  Last_Result_Lookup(QObject* parent, Show show);

  // Looks up the drive of `folder`; only the answer for the folder asked
  // last is shown. One lookup goes at a time, however fast the user moves
  // between folders: the folder asked meanwhile is looked up next.
  void Look_Up(const std::string& folder);
  // A lookup is under way.
  bool Busy() const { return busy_; }

 private:
  void Start(const std::string& folder);

  Show show_;
  std::string asked_;
  std::string shown_;
  bool busy_ = false;
};

}  // namespace palvimo
