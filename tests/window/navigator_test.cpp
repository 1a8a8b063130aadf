#include <sys/mount.h>
#include <sys/stat.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QWheelEvent>
#include <filesystem>
#include <vector>

#include "form_fixture.h"
#include "platform/check_error.h"
#include "stalling_file_system.h"
#include "support/tmpfs_mount.h"
#include "window/drive_list.h"

namespace palvimo::testing {
namespace {

using Navigator_Test = Form_Test;

std::vector<std::string> Entries(const Dir_List& list) {
  std::vector<std::string> entries;
  for (int i = 0; i < list.Entry_Count(); ++i) entries.push_back(list.Entry(i));
  return entries;
}

TEST_F(Navigator_Test, FolderListShowsTheChainToTheFolderThenItsSubfoldersByName) {
  for (const char* folder : {"gamma", "Beta", "alpha", ".hidden", "alpha/deeper"}) tree.Make_Dir(folder);
  tree.Write_File("plain.txt");
  std::filesystem::create_directory_symlink(tree.Path("alpha"), tree.Path("link_to_alpha"));

  Show(tree.Root());
  const std::vector<std::string> entries = Entries(*form->Result_Dir);
  const int current = form->Result_Dir->Highlighted_Index();
  ASSERT_GE(current, 1);
  ASSERT_EQ(entries[static_cast<std::size_t>(current)], tree.Root());
  // The chain: from the mount point down, each folder inside the one before.
  // It begins on the tree's own file system, at its top.
  const auto device = [](const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_dev;
  };
  EXPECT_EQ(device(entries.front()), device(tree.Root()));
  if (entries.front() != "/") {
    EXPECT_NE(device(std::filesystem::path(entries.front()).parent_path()), device(tree.Root()));
  }
  for (int i = 1; i <= current; ++i) {
    const std::filesystem::path folder = entries[static_cast<std::size_t>(i)];
    EXPECT_EQ(folder.parent_path().string(), entries[static_cast<std::size_t>(i - 1)]);
  }
  // Then the subfolders in name order, case aside; no link to a folder.
  const std::vector<std::string> subfolders(entries.begin() + current + 1, entries.end());
  EXPECT_EQ(subfolders, (std::vector<std::string>{tree.Path(".hidden"), tree.Path("alpha"), tree.Path("Beta"),
                                                  tree.Path("gamma")}));
}

TEST_F(Navigator_Test, FileListShowsTheFilesACheckConsidersByName) {
  for (const char* file : {"b.txt", "C.txt", "A.txt", ".hidden", "a.TXT"}) tree.Write_File(file);
  tree.Make_Dir("folder");
  ASSERT_EQ(::mkfifo(tree.Path("pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(tree.Path("b.txt"), tree.Path("link_to_b"));
  std::filesystem::create_symlink(tree.Path("missing"), tree.Path("dangling"));

  Show(tree.Root());
  EXPECT_EQ(form->Result_File->Path(), tree.Root());
  EXPECT_EQ(Files_Shown(), QStringList({".hidden", "A.txt", "a.TXT", "b.txt", "C.txt", "link_to_b"}));
}

TEST_F(Navigator_Test, HighlightMovesWithoutOpeningAndDoubleClickOpens) {
  tree.Write_File("sub/inside.txt");
  Show(tree.Root());
  QSignalSpy changes(form->Result_Dir, &Dir_List::Path_Changed);
  const int sub_row = form->Result_Dir->Entry_Count() - 1;
  ASSERT_EQ(form->Result_Dir->Entry(sub_row), tree.Path("sub"));

  QWidget* viewport = form->Result_Dir->viewport();
  const QPoint sub_centre = form->Result_Dir->visualRect(form->Result_Dir->model()->index(sub_row, 0)).center();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, sub_centre);
  EXPECT_EQ(form->Result_Dir->Highlighted_Index(), sub_row);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());
  EXPECT_EQ(changes.count(), 0);

  QTest::mouseDClick(viewport, Qt::LeftButton, {}, sub_centre);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Path("sub"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("sub"));
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Dir->Entry(form->Result_Dir->Highlighted_Index()), tree.Path("sub"));
  EXPECT_EQ(Files_Shown(), QStringList({"inside.txt"}));
  EXPECT_EQ(changes.count(), 1);
}

// The list moves at once, then goes back when the folder turns out not to be
// readable, and the file list with it.
TEST_F(Navigator_Test, FolderThatCannotBeListedLeavesTheListsWhereTheyWere) {
  tree.Make_Dir("gone");
  tree.Write_File("here.txt");
  Show(tree.Root());
  const std::vector<std::string> shown = Entries(*form->Result_Dir);

  std::vector<std::string> failures;
  form->Result_Dir->Set_Path(tree.Path("never-made"),
                             [&failures](const Check_Error& error) { failures.push_back(error.Path()); });
  EXPECT_EQ(form->Result_Dir->Path(), tree.Path("never-made"));
  Wait_For_Lists();
  EXPECT_EQ(failures, std::vector<std::string>{tree.Path("never-made")});
  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());
  EXPECT_EQ(Entries(*form->Result_Dir), shown);

  // Highlighted, then removed before the user opens it.
  Focus(form->Result_Dir);
  Type(Qt::Key_End);
  ASSERT_EQ(form->Result_Dir->Entry(form->Result_Dir->Highlighted_Index()), tree.Path("gone"));
  std::filesystem::remove(tree.Path("gone"));
  Type(Qt::Key_Return);
  Wait_For_Lists();

  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());
  EXPECT_EQ(form->Result_Dir->Entry(form->Result_Dir->Highlighted_Index()), tree.Path("gone"));
  EXPECT_EQ(form->Result_File->Path(), tree.Root());
  EXPECT_EQ(Files_Shown(), QStringList({"here.txt"}));
}

TEST_F(Navigator_Test, ShowFolderMovesTheFileListAlongOnlyWhenTheFolderChanges) {
  tree.Write_File("one/first.txt");
  tree.Write_File("two/second.txt");
  QSignalSpy changes(form->Result_Dir, &Dir_List::Path_Changed);

  form->Show_Folder(tree.Path("one"));
  EXPECT_EQ(form->Read_Root_Path(), tree.Path("one"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("one"));
  Wait_For_Lists();
  EXPECT_EQ(Files_Shown(), QStringList({"first.txt"}));

  // The walk shows the folder again for every file it picks there.
  form->Show_Folder(tree.Path("one"));
  EXPECT_EQ(changes.count(), 1);

  form->Show_Folder(tree.Path("two"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("two"));
  Wait_For_Lists();
  EXPECT_EQ(Files_Shown(), QStringList({"second.txt"}));
  EXPECT_EQ(changes.count(), 2);

  form->Show_Folder(tree.Path("three"));
  Wait_For_Lists();
  EXPECT_EQ(form->Read_Root_Path(), tree.Path("two"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("two"));
}

int Drive_Index(const Drive_List& drives, const std::string& mount_point) {
  for (int i = 0; i < drives.Entry_Count(); ++i)
    if (drives.Entry(i) == mount_point) return i;
  return -1;
}

TEST_F(Navigator_Test, PickingAnotherDriveMovesTheFolderAndFileListsThere) {
  tree.Write_File("outside.txt");
  const std::string drive = tree.Path("drive");
  const Tmpfs_Mount mount(drive, "1m");
  if (!mount.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  tree.Write_File("drive/on_drive.txt");
  tree.Write_File("drive/folder/deeper.txt");
  volumes.push_back({drive, "tmpfs", ""});
  Show_Form();

  // The folder list offers only folders of its own drive.
  Show(tree.Root());
  const std::vector<std::string> outside = Entries(*form->Result_Dir);
  EXPECT_EQ(std::count(outside.begin(), outside.end(), drive), 0);

  const int index = Drive_Index(*form->Result_Drive, drive);
  ASSERT_GE(index, 0);
  form->Result_Drive->setCurrentIndex(index);  // as the user picks it
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Drive->Drive(), drive);
  EXPECT_EQ(form->Result_Dir->Path(), drive);
  EXPECT_EQ(Entries(*form->Result_Dir), (std::vector<std::string>{drive, drive + "/folder"}));
  EXPECT_EQ(form->Result_File->Path(), drive);
  EXPECT_EQ(Files_Shown(), QStringList({"on_drive.txt"}));
}

// A drive that cannot be read leaves the list with a word in the status
// line, so that the arrow keys go on past it; the previous drive and folder
// stay. The wheel changes the drive only while the list has the focus.
TEST_F(Navigator_Test, DriveThatCannotBeOpenedKeepsThePreviousDriveAndFolder) {
  tree.Write_File("stay.txt");
  const std::string first = tree.Make_Dir("a_drive");
  const std::string lost = tree.Path("b_lost");  // listed, but never made
  const std::string last = tree.Make_Dir("c_drive");
  volumes = {{first, "ext4", ""}, {lost, "ext4", ""}, {last, "vfat", "LAST"}};
  Show_Form();
  form->Result_Drive->Set_Drive(first);
  Show(tree.Root());
  Focus(form->Result_Drive);

  Type(Qt::Key_Down);
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Drive->Drive(), first);
  EXPECT_EQ(Drive_Index(*form->Result_Drive, lost), -1);
  EXPECT_EQ(form->Result_Drive->Highlighted_Index(), Drive_Index(*form->Result_Drive, first));
  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());
  EXPECT_EQ(Files_Shown(), QStringList({"stay.txt"}));
  EXPECT_TRUE(form->Progress_Label->accessibleDescription().contains(QString::fromStdString(lost)));

  Type(Qt::Key_Down);
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Drive->Drive(), last);
  EXPECT_EQ(form->Result_Drive->currentText().toStdString(), last + "  [LAST]");
  EXPECT_EQ(form->Result_Dir->Path(), last);

  const auto wheel_up = [this] {
    QWheelEvent up(QPointF(5, 5), form->Result_Drive->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form->Result_Drive, &up);
  };
  Focus(form->Result_File);
  wheel_up();
  EXPECT_EQ(form->Result_Drive->Drive(), last);
  Focus(form->Result_Drive);
  wheel_up();
  EXPECT_EQ(form->Result_Drive->Drive(), first);
}

// Volumes mounted and unmounted while the window shows come and go in the
// drive list; pseudo file systems are never offered.
TEST_F(Navigator_Test, DriveListFollowsTheVolumesWhileTheWindowShows) {
  const std::string kept = tree.Make_Dir("kept");
  const std::string gone = tree.Make_Dir("gone");
  tree.Write_File("kept/inside.txt");
  ASSERT_EQ(form->Result_Drive->Entry_Count(), 1);
  ASSERT_EQ(form->Result_Drive->Drive(), "/");

  volumes = {{kept, "ext4", ""}, {gone, "xfs", ""}, {tree.Make_Dir("proc"), "proc", ""},
             {"/dev/shm", "tmpfs", ""}, {"/sys/fs/cgroup", "tmpfs", ""}};
  form->Result_Drive->Refresh();
  EXPECT_EQ(form->Result_Drive->Entry_Count(), 3);
  EXPECT_EQ(Drive_Index(*form->Result_Drive, tree.Path("proc")), -1);
  EXPECT_EQ(Drive_Index(*form->Result_Drive, "/dev/shm"), -1);
  EXPECT_EQ(form->Result_Drive->Drive(), "/");

  // The drive shown stays selected while others go.
  form->Result_Drive->Set_Drive(kept);
  Wait_For_Lists();
  volumes.erase(volumes.begin() + 1);
  form->Result_Drive->Refresh();
  EXPECT_EQ(Drive_Index(*form->Result_Drive, gone), -1);
  EXPECT_EQ(form->Result_Drive->Drive(), kept);
  EXPECT_EQ(form->Result_Drive->Highlighted_Index(), Drive_Index(*form->Result_Drive, kept));

  // Once it goes itself, "/" shows, and the folder stays while it still can.
  volumes.clear();
  form->Result_Drive->Refresh();
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Drive->Drive(), "/");
  EXPECT_EQ(form->Result_Dir->Path(), kept);
  EXPECT_EQ(Files_Shown(), QStringList({"inside.txt"}));

  volumes = {{gone, "xfs", ""}};
  form->Result_Drive->Refresh();
  form->Result_Drive->Set_Drive(gone);
  Wait_For_Lists();
  std::filesystem::remove(gone);
  volumes.clear();
  form->Result_Drive->Refresh();
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Drive->Drive(), "/");
  EXPECT_EQ(form->Result_Dir->Path(), "/");
}

// The navigator over a drive that stalls on the folders "slow" and "later"
// until the test lets it answer.
class Stalled_Navigator_Test : public Form_Test {
 protected:
  void SetUp() override {
    tree.Write_File("slow/inside.txt");
    tree.Write_File("later/after.txt");
    auto files = std::make_shared<Stalling_File_System>(
        Stalling_File_System::Stalls{{tree.Path("slow"), slow_gate}, {tree.Path("later"), later_gate}});
    stalling_files = files.get();
    navigator_files = std::move(files);
    Show_Form();
    Show(tree.Root());
  }
  void TearDown() override {
    slow_gate->Open();
    later_gate->Open();
  }

  // Waits until `under_way` reads of the navigator are left: each holds the
  // file system it reads through, as do the test, the window and its two
  // lists.
  void Wait_For_Reads(long under_way) const {
    ASSERT_TRUE(QTest::qWaitFor([this, under_way] { return navigator_files.use_count() == 4 + under_way; }));
  }

  const Stalling_File_System* stalling_files = nullptr;
  const std::shared_ptr<Gate> slow_gate = std::make_shared<Gate>();
  const std::shared_ptr<Gate> later_gate = std::make_shared<Gate>();
};

TEST_F(Stalled_Navigator_Test, WindowGoesOnWhileAFolderStallsAndItsLateListingIsDropped) {
  form->Result_Dir->Set_Path(tree.Path("slow"));
  bool serviced = false;
  QTimer::singleShot(0, form.get(), [&serviced] { serviced = true; });
  ASSERT_TRUE(QTest::qWaitFor([&serviced] { return serviced; }));

  // Moved at once, both lists say they are reading.
  EXPECT_EQ(form->Read_Root_Path(), tree.Path("slow"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("slow"));
  EXPECT_TRUE(form->Result_Dir->Reading());
  EXPECT_TRUE(form->Result_File->Reading());
  EXPECT_EQ(form->Result_Dir->Entry_Count(), 0);
  EXPECT_TRUE(Files_Shown().isEmpty());
  const QImage reading = form->Result_Dir->viewport()->grab().toImage();
  const QRgb base = form->Result_Dir->palette().color(QPalette::Active, QPalette::Base).rgb();
  bool words_drawn = false;
  for (int y = 0; y < reading.height() && !words_drawn; ++y)
    for (int x = 0; x < reading.width() && !words_drawn; ++x) words_drawn = reading.pixel(x, y) != base;
  EXPECT_TRUE(words_drawn);

  // The user moves on to another folder the drive stalls on; the drive
  // answers for the first one meanwhile, too late to be shown.
  form->Result_Dir->Set_Path(tree.Path("later"));
  slow_gate->Open();
  Wait_For_Reads(2);
  QTest::qWait(50);  // the window looks for what the reads handed over
  EXPECT_EQ(form->Read_Root_Path(), tree.Path("later"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("later"));
  EXPECT_TRUE(form->Result_Dir->Reading() && form->Result_File->Reading());
  EXPECT_EQ(form->Result_Dir->Entry_Count(), 0);

  later_gate->Open();
  Wait_For_Lists();
  EXPECT_EQ(form->Read_Root_Path(), tree.Path("later"));
  EXPECT_EQ(form->Result_Dir->Entry(form->Result_Dir->Highlighted_Index()), tree.Path("later"));
  EXPECT_EQ(Files_Shown(), QStringList({"after.txt"}));
}

int Threads_Of_This_Process() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                        std::filesystem::directory_iterator()));
}

// However often the user moves between folders the drive stalls on, each
// list holds one read on the drive and keeps only the last move waiting.
TEST_F(Stalled_Navigator_Test, MovesIntoStalledFoldersHoldOneReadAList) {
  const int threads_before = Threads_Of_This_Process();
  for (int move = 0; move < 100; ++move) form->Show_Folder(tree.Path(move % 2 == 0 ? "slow" : "later"));
  ASSERT_TRUE(QTest::qWaitFor([this] { return stalling_files->Most_Held_Up() == 2; }));
  QTest::qWait(50);  // time for any read that should not be there to reach the drive
  EXPECT_EQ(stalling_files->Most_Held_Up(), 2);
  EXPECT_LE(Threads_Of_This_Process(), threads_before + 2);
  EXPECT_EQ(form->Read_Root_Path(), tree.Path("later"));

  slow_gate->Open();
  later_gate->Open();
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Dir->Entry(form->Result_Dir->Highlighted_Index()), tree.Path("later"));
  EXPECT_EQ(Files_Shown(), QStringList({"after.txt"}));
  EXPECT_EQ(stalling_files->Most_Held_Up(), 2);
}

// The window goes away at once; the reads it leaves waiting on the drive end
// later without touching it.
TEST_F(Stalled_Navigator_Test, ClosingTheWindowLeavesAStalledReadBehind) {
  form->Show_Folder(tree.Path("slow"));
  form.reset();
  slow_gate->Open();
  ASSERT_TRUE(QTest::qWaitFor([this] { return navigator_files.use_count() == 1; }));
}

}  // namespace
}  // namespace palvimo::testing
