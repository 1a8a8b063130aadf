#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <map>
#include <vector>

#include "engine/catalogue.h"
#include "engine/run_report.h"
#include "form_fixture.h"
#include "platform/whole_file_read.h"
#include "stalling_file_system.h"
#include "support/random_content.h"
#include "support/silent_change.h"
#include "window/error_text.h"

namespace palvimo::testing {
namespace {

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;

// Every entry of a tree with its content, folders as empty.
std::map<std::string, std::string> Tree_Contents(const std::string& root) {
  std::map<std::string, std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    found[entry.path().string()] = entry.is_regular_file() ? Temp_Tree::Read_File(entry.path().string()) : "";
  return found;
}

// Catalogues the files `names` of the folder `root` as read whole two days
// ago, as a scrub back then would have: a scrub now reads them again.
void Catalogue_Days_Ago(const std::string& root, const std::vector<std::string>& names) {
  Catalogue catalogue(Default_Catalogue_Folder(), root);
  const int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  std::vector<std::byte> buffer(MiB);
  for (const std::string& name : names) {
    const std::string path = root + "/" + name;
    const auto read = Read_Whole_File(folder, name, path, buffer, [](std::uint64_t) { return true; });
    ASSERT_TRUE(read);
    const auto when = std::chrono::system_clock::now() - std::chrono::hours(48);
    EXPECT_EQ(catalogue.Check(path, read->stamp, read->chunk_sums, when).get().outcome, Catalogue_Outcome::New);
  }
  close(folder);
  catalogue.Flush();
  ASSERT_FALSE(catalogue.Problem()) << *catalogue.Problem();
}

class Scrub_Test : public Form_Test {
 protected:
  QAction* Scrub_Action() const { return form->findChild<QAction*>("Scrub_Action"); }

  // Picks the scrub from the window's context menu, as a user would.
  void Scrub_From_Menu() const {
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(4, 4),
                              form->Count_Label->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(form->Count_Label, &request);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* scrub = nullptr;
    for (QAction* action : menu->actions())
      if (action->text() == QStringLiteral("Check every file once (read only)")) scrub = action;
    ASSERT_NE(scrub, nullptr);
    scrub->trigger();
    menu->close();
  }

  bool Scrubbing() const { return form->Start_Button->text() == QStringLiteral("S&top"); }

  void Wait_For_Scrub_End() const {
    EXPECT_TRUE(QTest::qWaitFor([this] { return !Scrubbing(); }, 120000));
  }

  static QColor Text_Colour(const QWidget* control) { return control->palette().color(control->foregroundRole()); }
  static QColor Tone_Of(const QWidget* control, Text_Tone tone) {
    return Tone_Colour(tone, QApplication::palette(control).color(control->backgroundRole()));
  }
};

// The drive changed a catalogued file under unchanged times: the scrub says
// so, in the error colour, and leaves the tree as it found it.
TEST_F(Scrub_Test, FindsASilentChangeAndLeavesTheTreeAsItWas) {
  for (const char* name : {"a.raw", "b.raw", "c.raw"}) tree.Write_File(name, Random_Content(2 * MiB + 3));
  tree.Write_File("sub/new.txt", "not catalogued yet");
  Catalogue_Days_Ago(tree.Root(), {"a.raw", "b.raw", "c.raw"});
  Change_Silently(tree.Path("c.raw"), MiB + 10);
  const auto before = Tree_Contents(tree.Root());
  // Recurse is for runs: the scrub reads the whole tree all the same.
  form->Recurse_Check->setChecked(false);
  Show(tree.Root());

  Scrub_From_Menu();
  EXPECT_TRUE(Scrubbing());
  EXPECT_FALSE(Scrub_Action()->isEnabled());
  Wait_For_Scrub_End();

  const std::string summary = "Read 4 files (" + Format_Bytes(3 * (2 * MiB + 3) + 18) +
                              "): 2 as catalogued, 1 new, 0 edited. 1 fault.";
  EXPECT_EQ(form->Progress_Label->toolTip().toStdString(),
            summary + "\n" + tree.Path("c.raw") + ": " + Silent_Change_Reason(MiB));
  EXPECT_TRUE(form->Progress_Label->text().endsWith(QStringLiteral(" 1 fault."))) << form->Progress_Label->text().toStdString();
  EXPECT_EQ(Text_Colour(form->Progress_Label), Tone_Of(form->Progress_Label, Text_Tone::Error));
  EXPECT_EQ(form->Start_Button->text(), QStringLiteral("&Start"));
  EXPECT_TRUE(Scrub_Action()->isEnabled());
  EXPECT_EQ(Tree_Contents(tree.Root()), before);
}

// With the folder's drive stalled, Start_Button is the scrub's Stop: it
// starts no run, and the scrub ends as soon as the drive lets it. During a
// run, the scrub cannot be started.
TEST_F(Scrub_Test, StopEndsTheScrubAndNeitherRunsWhileTheOtherDoes) {
  for (int i = 0; i < 5; ++i) tree.Write_File("file" + std::to_string(i) + ".dat", "some data");
  const auto gate = std::make_shared<Gate>();
  navigator_files = std::make_shared<Stalling_File_System>(Stalling_File_System::Stalls{{tree.Root(), gate}});
  Show_Form();
  // Whatever the test's end, nothing is left waiting at the gate.
  const std::unique_ptr<Gate, void (*)(Gate*)> opener(gate.get(), [](Gate* held) { held->Open(); });
  form->Result_Dir->Set_Path(tree.Root());

  Scrub_From_Menu();
  ASSERT_TRUE(Scrubbing());
  form->Start_Button->click();
  QTest::qWait(200);
  EXPECT_FALSE(form->State().Is_Running);
  EXPECT_EQ(form->Record().Probes(), 0u);
  EXPECT_TRUE(Scrubbing());
  EXPECT_FALSE(Scrub_Action()->isEnabled());
  gate->Open();
  Wait_For_Scrub_End();
  EXPECT_EQ(form->Progress_Label->toolTip(),
            QStringLiteral("Stopped: read 0 files (0 B): 0 as catalogued, 0 new, 0 edited. No faults found."));

  form->Delay_Text->setText("1");
  bool offered_during_run = true;
  Each_Event_Run user([&] {
    if (form->Record().Probes() == 0) return false;
    offered_during_run = Scrub_Action()->isEnabled();
    Scrub_Action()->trigger();
    form->Start_Button->click();
    return true;
  });
  form->Start_Button->click();
  EXPECT_FALSE(offered_during_run);
  // A scrub begun by the trigger would say its end here.
  QTest::qWait(500);
  const QString after_run = form->Progress_Label->toolTip();
  EXPECT_FALSE(after_run.startsWith(QStringLiteral("Read ")) || after_run.startsWith(QStringLiteral("Stopped: read ")))
      << after_run.toStdString();
  EXPECT_EQ(form->Start_Button->text(), QStringLiteral("&Start"));
  EXPECT_TRUE(Scrub_Action()->isEnabled());
}

}  // namespace
}  // namespace palvimo::testing
