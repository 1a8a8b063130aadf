#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <cmath>
#include <vector>

#include "form_fixture.h"
#include "window/drive_list.h"

namespace palvimo::testing {
namespace {

using Main_Form_Test = Form_Test;

TEST(Main_Form_Start_Up, FocusedListStaysEmptyUntilTheWindowShows) {
  Main_Form hidden;
  EXPECT_EQ(hidden.State().Focused_List, "");
}

TEST_F(Main_Form_Test, StartsOnTheRootFolderWithTheDefaults) {
  EXPECT_EQ(form->Result_Drive->Drive(), "/");
  EXPECT_EQ(form->Result_Dir->Path(), "/");
  EXPECT_EQ(form->Result_Dir->Entry(form->Result_Dir->Highlighted_Index()), "/");
  EXPECT_EQ(form->Result_File->Path(), "/");
  EXPECT_EQ(form->Count_Val->text(), "0");
  EXPECT_EQ(form->Progress_Label->text(), "");
  EXPECT_EQ(form->Ext_Text->text(), ".PVF");
  EXPECT_EQ(form->Delay_Text->text(), "500");
  EXPECT_TRUE(form->Recurse_Check->isChecked());

  const Run_State& state = form->State();
  EXPECT_FALSE(state.Is_Running);
  EXPECT_FALSE(state.Stop_Requested);
  EXPECT_TRUE(state.Recurse_On);
  EXPECT_EQ(state.File_Count, 0);
  // Once shown, the focus is in the drive list, the first control in tab
  // order that can take it.
  EXPECT_EQ(QApplication::focusWidget(), form->Result_Drive);
  EXPECT_EQ(state.Focused_List, "Result_Drive");
}

TEST_F(Main_Form_Test, WindowKeepsItsSizeCentredWithItsCaptionAndIcon) {
  EXPECT_EQ(form->windowTitle(), "Palvimo");
  // Client area 6996 x 4944 twips, 15 twips to a pixel.
  EXPECT_EQ(form->size(), QSize(466, 330));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  const QPoint screen_centre = form->screen()->availableGeometry().center();
  EXPECT_LE((form->geometry().center() - screen_centre).manhattanLength(), 2);
  const QList<QSize> icon_sizes = form->windowIcon().availableSizes();
  ASSERT_EQ(icon_sizes.size(), 1);
  EXPECT_EQ(icon_sizes.front(), QSize(32, 32));
}

struct Control_Row {
  const char* name;
  const char* container;
  int left, top, width, height;  // twips
  const char* caption;           // caption, title or text at start; nullptr for the lists
  const char* tooltip;
};

// The fourteen controls in tab order.
const std::vector<Control_Row> Controls = {
    {"Result_Frame", "Main_Form", 120, 120, 5172, 4215, "&Directory Contents:", ""},
    {"Result_Drive", "Result_Frame", 120, 240, 2412, 288, nullptr, "Drive listed"},
    {"Result_Dir", "Result_Frame", 120, 720, 2412, 3240, nullptr, "Directory listed"},
    {"Result_File", "Result_Frame", 2640, 240, 2412, 3720, nullptr, "List of files in directory"},
    {"Progress_Label", "Main_Form", 120, 4560, 5175, 255, "", "Status"},
    {"Save_Label", "Main_Form", 5520, 240, 1332, 252, "&Extension:", ""},
    {"Ext_Text", "Main_Form", 5520, 600, 1332, 285, ".PVF", "Extension of copied files"},
    {"Count_Label", "Main_Form", 5520, 1080, 1335, 252, "File count:", ""},
    {"Count_Val", "Main_Form", 5520, 1440, 1335, 285, "0", "Number of files copied"},
    {"Delay_Label", "Main_Form", 5520, 1920, 1335, 255, "De&lay (msec):", ""},
    {"Delay_Text", "Main_Form", 5520, 2280, 1335, 285, "500", "Delay between copying a file"},
    {"Recurse_Check", "Main_Form", 5520, 2880, 1332, 252, "&Recurse", "Recurse subdirectories"},
    {"Start_Button", "Main_Form", 5520, 3840, 1332, 372, "&Start", "Make list of directory contents"},
    {"Exit_Button", "Main_Form", 5520, 4440, 1332, 372, "E&xit", "Exit program"},
};

int Pixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

TEST_F(Main_Form_Test, ControlsHaveTheirNamesPlacesCaptionsTooltipsAndTabOrder) {
  const std::vector<QWidget*> members = {
      form->Result_Frame, form->Result_Drive, form->Result_Dir, form->Result_File, form->Progress_Label,
      form->Save_Label,   form->Ext_Text,     form->Count_Label, form->Count_Val,  form->Delay_Label,
      form->Delay_Text,   form->Recurse_Check, form->Start_Button, form->Exit_Button};
  ASSERT_EQ(members.size(), Controls.size());
  for (std::size_t i = 0; i < Controls.size(); ++i) {
    const Control_Row& row = Controls[i];
    SCOPED_TRACE(row.name);
    QWidget* control = members[i];
    EXPECT_EQ(control->objectName(), row.name);
    EXPECT_EQ(form->findChild<QWidget*>(row.name), control);
    const QWidget* container = control->parentWidget();
    EXPECT_EQ(container == form.get() ? QString("Main_Form") : container->objectName(), row.container);
    EXPECT_EQ(control->geometry(),
              QRect(Pixels(row.left), Pixels(row.top), Pixels(row.width), Pixels(row.height)));
    if (row.caption) {
      const char* property = qobject_cast<QGroupBox*>(control) ? "title" : "text";
      EXPECT_EQ(control->property(property).toString(), row.caption);
    }
    EXPECT_EQ(control->toolTip(), row.tooltip);
  }

  // Tab order: the focus chain meets the controls in the table's order.
  std::vector<QString> chain;
  QWidget* widget = form->Result_Frame;
  do {
    if (std::find(members.begin(), members.end(), widget) != members.end()) chain.push_back(widget->objectName());
    widget = widget->nextInFocusChain();
  } while (widget != form->Result_Frame);
  std::vector<QString> expected;
  for (const Control_Row& row : Controls) expected.push_back(row.name);
  EXPECT_EQ(chain, expected);
}

TEST_F(Main_Form_Test, CaptionsAndButtonsAreBoldOthersKeepTheWindowFont) {
  for (QWidget* caption : std::vector<QWidget*>{form->Result_Frame, form->Save_Label, form->Count_Label,
                                                form->Delay_Label}) {
    SCOPED_TRACE(caption->objectName().toStdString());
    EXPECT_TRUE(caption->font().bold());
    EXPECT_DOUBLE_EQ(caption->font().pointSizeF(), 7.8);
  }
  for (QWidget* button : std::vector<QWidget*>{form->Start_Button, form->Exit_Button}) {
    SCOPED_TRACE(button->objectName().toStdString());
    EXPECT_TRUE(button->font().bold());
    EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 9.6);
  }
  // The lists sit in the bold frame but keep the window's font.
  for (QWidget* plain : std::vector<QWidget*>{form->Result_Drive, form->Result_Dir, form->Result_File,
                                              form->Progress_Label, form->Ext_Text, form->Count_Val,
                                              form->Delay_Text, form->Recurse_Check}) {
    SCOPED_TRACE(plain->objectName().toStdString());
    EXPECT_EQ(plain->font(), form->font());
  }
  EXPECT_TRUE(form->Count_Val->autoFillBackground());
  EXPECT_EQ(form->Count_Val->backgroundRole(), QPalette::Base);
}

TEST_F(Main_Form_Test, AccessKeysMoveTheFocusAndToggleTheCheckBox) {
  Type(Qt::Key_E, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), form->Ext_Text);
  EXPECT_EQ(form->Ext_Text->selectedText(), ".PVF");

  Type(Qt::Key_L, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), form->Delay_Text);
  EXPECT_EQ(form->Delay_Text->selectedText(), "500");

  Type(Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), form->Result_Drive);

  // Alt+D goes to the drive list also from another list in the frame.
  Focus(form->Result_File);
  Type(Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), form->Result_Drive);

  Type(Qt::Key_R, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Recurse_Check->isChecked(); }));
  EXPECT_FALSE(form->State().Recurse_On);
  Type(Qt::Key_R, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->Recurse_Check->isChecked(); }));
  EXPECT_TRUE(form->State().Recurse_On);
}

TEST_F(Main_Form_Test, TextBoxesSelectUpTo255CharactersFromTheStartOnFocus) {
  const QString long_text(300, QLatin1Char('7'));
  form->Delay_Text->setText(long_text);
  form->Delay_Text->setCursorPosition(10);
  Focus(form->Result_File);
  Type(Qt::Key_Tab);  // on to Ext_Text
  ASSERT_EQ(QApplication::focusWidget(), form->Ext_Text);
  EXPECT_EQ(form->Ext_Text->selectionStart(), 0);
  EXPECT_EQ(form->Ext_Text->selectedText(), ".PVF");

  Type(Qt::Key_Tab);  // on to Delay_Text
  ASSERT_EQ(QApplication::focusWidget(), form->Delay_Text);
  EXPECT_EQ(form->Delay_Text->selectionStart(), 0);
  EXPECT_EQ(form->Delay_Text->selectedText().size(), 255);

  // Typing replaces the selected part.
  QTest::keyClicks(form->Delay_Text, "25");
  EXPECT_EQ(form->Delay_Text->text(), "25" + QString(45, QLatin1Char('7')));
}

TEST_F(Main_Form_Test, LongPathsInTheStatusLineKeepTheirFileNameAndTheReason) {
  QLabel& line = *form->Progress_Label;
  const std::string folder = "/" + std::string(80, 'f') + "/" + std::string(80, 'g');
  const auto expect_fits = [&line] {
    EXPECT_LE(line.fontMetrics().horizontalAdvance(line.text()), line.contentsRect().width()) << line.text().toStdString();
  };

  form->Set_Status(folder + "/probed file.dat");
  expect_fits();
  EXPECT_TRUE(line.text().startsWith("/f")) << line.text().toStdString();
  EXPECT_TRUE(line.text().endsWith("/probed file.dat")) << line.text().toStdString();
  EXPECT_EQ(line.accessibleDescription().toStdString(), folder + "/probed file.dat");

  form->Show_Failure(folder + "/bad.dat", "Input/output error");
  expect_fits();
  EXPECT_TRUE(line.text().endsWith("/bad.dat: Input/output error")) << line.text().toStdString();
  EXPECT_EQ(line.accessibleDescription().toStdString(), folder + "/bad.dat: Input/output error");
  EXPECT_EQ(line.toolTip().toStdString(), folder + "/bad.dat: Input/output error");

  // A short text shows as it is.
  form->Show_Failure("/a.dat", "Permission denied");
  EXPECT_EQ(line.text(), "/a.dat: Permission denied");
}

TEST_F(Main_Form_Test, ComingBackToTheWindowLeavesTheTextAsTheUserLeftIt) {
  Focus(form->Result_File);
  Type(Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), form->Ext_Text);
  form->Ext_Text->setCursorPosition(2);  // the user clicked into the text
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(QApplication::focusWidget(), form->Ext_Text);
  EXPECT_FALSE(form->Ext_Text->hasSelectedText());
  EXPECT_EQ(form->Ext_Text->cursorPosition(), 2);
}

// Filled while the list has the focus, only framed while it has not: the
// row's free space right of its name shows it.
TEST_F(Main_Form_Test, HighlightedFolderLooksDifferentWithAndWithoutTheFocus) {
  Dir_List& folders = *form->Result_Dir;
  const QRect row = folders.visualRect(folders.currentIndex());
  ASSERT_FALSE(row.isEmpty());
  const QRgb base = folders.palette().color(QPalette::Active, QPalette::Base).rgb();
  const auto free_space = [&] {
    const QImage image = folders.viewport()->grab(row).toImage();
    return image.pixel(image.width() - 4, image.height() / 2);
  };
  Focus(&folders);
  EXPECT_NE(free_space(), base);
  Focus(form->Result_File);
  EXPECT_EQ(free_space(), base);
}

TEST_F(Main_Form_Test, DelayThatGivesNoPauseShowsInTheErrorColour) {
  const QColor normal = QApplication::palette(form->Delay_Text).color(QPalette::Text);
  const auto text_colour = [this] { return form->Delay_Text->palette().color(QPalette::Active, QPalette::Text); };
  EXPECT_EQ(text_colour(), normal);
  for (const char* no_pause : {"abc", "-5", "99999999999", ""}) {
    SCOPED_TRACE(no_pause);
    form->Delay_Text->setText(no_pause);
    EXPECT_NE(text_colour(), normal);
  }
  form->Delay_Text->setText(" 12.5 ");
  EXPECT_EQ(text_colour(), normal);
}

// Assistive technology hears each list by name, the count with its number
// and the status line by name with what it says in full.
TEST_F(Main_Form_Test, ListsCountAndStatusLineHaveAccessibleNames) {
  EXPECT_EQ(form->Result_Drive->accessibleName(), "Drive");
  EXPECT_EQ(form->Result_Dir->accessibleName(), "Folders");
  EXPECT_EQ(form->Result_File->accessibleName(), "Files");
  EXPECT_EQ(form->Count_Val->accessibleName(), "File count: 0");
  form->Show_Count("1,204");
  EXPECT_EQ(form->Count_Val->accessibleName(), "File count: 1,204");
  EXPECT_EQ(form->Progress_Label->accessibleName(), "Status");
  form->Set_Status("Probing /tmp/some file.dat");
  EXPECT_EQ(form->Progress_Label->accessibleDescription(), "Probing /tmp/some file.dat");
  EXPECT_EQ(form->Progress_Label->toolTip(), "Probing /tmp/some file.dat");
}

// The key handler, on a tree of two subfolders.
class Key_Handler_Test : public Form_Test {
 protected:
  void SetUp() override {
    Form_Test::SetUp();
    tree.Write_File("alpha/a1.txt");
    tree.Write_File("alpha/a2.txt");
    tree.Write_File("beta/b1.txt");
    tree.Write_File("top.txt");
    Show(tree.Root());
    Focus(form->Result_Dir);
  }

  int Current_Row() const { return form->Result_Dir->Highlighted_Index(); }
};

TEST_F(Key_Handler_Test, EnterOrSpaceOpensTheHighlightedFolder) {
  EXPECT_EQ(form->State().Focused_List, "Result_Dir");
  Type(Qt::Key_Down);  // the highlight moves without opening
  ASSERT_EQ(form->Result_Dir->Entry(Current_Row()), tree.Path("alpha"));
  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());

  Type(Qt::Key_Return);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Path("alpha"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("alpha"));
  Wait_For_Lists();
  EXPECT_EQ(Files_Shown(), QStringList({"a1.txt", "a2.txt"}));

  Type(Qt::Key_Up);  // the tree's root, above alpha in the chain
  ASSERT_EQ(form->Result_Dir->Entry(Current_Row()), tree.Root());
  Type(Qt::Key_Space);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());
  Wait_For_Lists();
  EXPECT_EQ(Files_Shown(), QStringList({"top.txt"}));

  Type(Qt::Key_End);
  Type(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Path("beta"));
}

TEST_F(Key_Handler_Test, EnterOnTheCurrentFolderChangesNothing) {
  QSignalSpy changes(form->Result_Dir, &Dir_List::Path_Changed);
  ASSERT_EQ(form->Result_Dir->Entry(Current_Row()), tree.Root());
  Type(Qt::Key_Return);
  Type(Qt::Key_Space);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());
  EXPECT_EQ(changes.count(), 0);
}

TEST_F(Key_Handler_Test, EnterInTheFileListDoesNothing) {
  Type(Qt::Key_Down);  // alpha highlighted in the folder list
  Focus(form->Result_File);
  EXPECT_EQ(form->State().Focused_List, "Result_File");
  Type(Qt::Key_Return);
  Type(Qt::Key_Space);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Root());
  EXPECT_EQ(form->Result_File->Path(), tree.Root());
}

TEST_F(Key_Handler_Test, FocusedListOutlivesTheFocus) {
  Type(Qt::Key_Down);  // alpha highlighted
  Focus(form->Delay_Text);
  EXPECT_EQ(form->State().Focused_List, "Result_Dir");
  Type(Qt::Key_Return);
  EXPECT_EQ(form->Result_Dir->Path(), tree.Path("alpha"));
  EXPECT_EQ(form->Result_File->Path(), tree.Path("alpha"));
  EXPECT_EQ(form->Delay_Text->text(), "500");
  // The key went on to the focused control as well.
  EXPECT_EQ(QApplication::focusWidget(), form->Delay_Text);
}

TEST_F(Key_Handler_Test, EnterWithTheDriveListFocusedOpensTheDriveRoot) {
  Focus(form->Result_Drive);
  EXPECT_EQ(form->State().Focused_List, "Result_Drive");
  Focus(form->Ext_Text);
  Type(Qt::Key_Return);
  EXPECT_EQ(form->Result_Dir->Path(), form->Result_Drive->Drive());
  EXPECT_EQ(form->Result_File->Path(), form->Result_Drive->Drive());
}

}  // namespace
}  // namespace palvimo::testing
