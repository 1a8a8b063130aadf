#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/copier_hooks.h"
#include "platform/file_system.h"
#include "platform/volume_source.h"
#include "support/temp_tree.h"
#include "window/dir_list.h"
#include "window/file_list.h"
#include "window/main_form.h"

namespace palvimo::testing {

// Runs `step` at every turn of the event loop, and so at every event run of
// a walk, until it returns true. Clicks and keys that a user would give
// during a run are given from here, nested inside the run as theirs are.
class Each_Event_Run {
 public:
  explicit Each_Event_Run(std::function<bool()> step) : step_(std::move(step)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (step_()) timer_.stop();
    });
    timer_.start(0);
  }

 private:
  std::function<bool()> step_;
  QTimer timer_;
};

// The volumes a test's window sees: those the test lists, as they are at
// each look, and no others.
class Listed_Volumes : public Volume_Source {
 public:
  explicit Listed_Volumes(const std::vector<Volume>& listed) : listed_(listed) {}
  std::vector<Volume> Volumes() override { return listed_; }
  int Change_Fd() const override { return -1; }

 private:
  const std::vector<Volume>& listed_;
};

// The main window, shown and active as its user meets it, beside a
// temporary tree to navigate. Its drive list offers "/" and the volumes the
// test lists, never the machine's own mounts.
class Form_Test : public ::testing::Test {
 protected:
  void SetUp() override { Show_Form(); }

  // Builds and shows the window; tests that change what the window finds at
  // start-up (listed volumes) call it themselves.
  void Show_Form() {
    // One window at a time: each catches the end signals while it lives.
    form.reset();
    form = std::make_unique<Main_Form>(std::make_unique<Listed_Volumes>(volumes), navigator_files, copier_hooks);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    Wait_For_Lists();
  }

  // Waits until both lists show the folder they were moved to, read off the
  // window's thread, as a user would before looking at them.
  void Wait_For_Lists() const {
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->Result_Dir->Reading() && !form->Result_File->Reading(); }));
  }

  // Moves the folder list to `path` and waits for both lists to show it.
  void Show(const std::string& path) const {
    form->Result_Dir->Set_Path(path);
    Wait_For_Lists();
  }

  // Types a key where the focus is, as the user would.
  static void Type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key, modifiers);
  }

  static void Focus(QWidget* control) {
    control->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([control] { return control->hasFocus(); }));
  }

  // The names the file list shows, top to bottom.
  QStringList Files_Shown() const {
    QStringList names;
    const QAbstractItemModel& model = *form->Result_File->model();
    for (int row = 0; row < model.rowCount(); ++row) names << model.index(row, 0).data().toString();
    return names;
  }

  Temp_Tree tree;
  std::vector<Volume> volumes;
  // What the navigator reads folders through.
  std::shared_ptr<File_System> navigator_files = Make_Local_File_System();
  // What the probes' calls on the drive go through: the real calls unless a
  // test stands in for some.
  Copier_Hooks copier_hooks;
  std::unique_ptr<Main_Form> form;
};

}  // namespace palvimo::testing
