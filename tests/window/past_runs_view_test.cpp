#include "window/past_runs_view.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <sstream>
#include <string>

#include "engine/record_journal.h"
#include "engine/run_record.h"
#include "support/temp_tree.h"
#include "window/run_trend_plot.h"

namespace palvimo::testing {
namespace {

// A run of the drive "Stick" (serial S1) that ended, read and write speeds
// as given.
std::string Stick_Run(const std::string& start, double read, double write) {
  return "{\"type\":\"run\",\"start\":\"" + start +
         "\",\"root\":\"/media/stick\",\"drive\":{\"model\":\"Stick\",\"serial\":\"S1\"},"
         "\"volume\":{\"id\":\"uuid:stick\",\"label\":\"STICK\",\"mount_point\":\"/media/stick\"}}\n"
         "{\"type\":\"summary\",\"verdict\":\"no drive faults\",\"text\":\"Checked.\",\"start\":\"" +
         start + "\",\"elapsed_seconds\":65,\"probes\":40,\"failed_by_class\":{\"drive_fault\":0,\"not_checked\":0}," +
         "\"read_bytes_per_second\":" + std::to_string(read) + ",\"write_bytes_per_second\":" + std::to_string(write) +
         "}\n";
}

QString Cell(const QTableView& table, int row, int column) {
  return table.model()->index(row, column).data().toString();
}

// The rows follow the records kept, newest first: one the program wrote for
// a real run of the tree, two of a stick whose speed fell, and a record cut
// short with a damaged line. Choosing the stick lists its runs only and
// plots them; opening a row shows its record.
TEST(Past_Runs_View_Test, ListsKeptRunsNewestFirstFiltersByDriveAndOpensOne) {
  Temp_Tree tree;
  const std::string folder = tree.Make_Dir("runs");
  const std::string root = tree.Make_Dir("checked");
  std::ostringstream log;
  {
    Record_Journal journal(folder, log);
    Run_Record record;
    record.Begin(root, Run_Settings{".PVF", "0", true});
    journal.Run_Began(record);
    journal.Probe_Failed(record, record.Add_Failure(root + "/bad.bin", {}, Failure_Kind::Read, "Input/output error", 5));
    record.End();
    journal.Run_Ended(record);
  }
  ASSERT_TRUE(log.str().empty()) << log.str();
  tree.Write_File("runs/20200101T000000Z.jsonl", Stick_Run("2020-01-01T00:00:00Z", 90e6, 40e6));
  tree.Write_File("runs/20200201T000000Z.jsonl", Stick_Run("2020-02-01T00:00:00Z", 30e6, 10e6));
  tree.Write_File("runs/20200301T000000Z.jsonl",
                  "{\"type\":\"run\",\"start\":\"2020-03-01T00:00:00Z\",\"root\":\"/media/stick\","
                  "\"drive\":{\"model\":\"Stick\",\"serial\":\"S1\"}}\n{garbage\n");

  Past_Runs_View view(folder);
  view.resize(900, 500);
  QSignalSpy listed(&view, &Past_Runs_View::Listed);
  view.show();
  ASSERT_TRUE(listed.count() > 0 || listed.wait(20000));

  auto* table = view.findChild<QTableView*>(QStringLiteral("Past_Runs_Table"));
  auto* choice = view.findChild<QComboBox*>(QStringLiteral("Drive_Choice"));
  auto* plot = view.findChild<Run_Trend_Plot*>(QStringLiteral("Run_Trend_Plot"));
  ASSERT_TRUE(table && choice && plot);
  ASSERT_EQ(table->model()->rowCount(), 4);
  EXPECT_EQ(Cell(*table, 0, Past_Runs_View::Folder), QString::fromStdString(root));
  EXPECT_EQ(Cell(*table, 0, Past_Runs_View::Faults), QStringLiteral("1"));
  EXPECT_EQ(Cell(*table, 0, Past_Runs_View::Result), QStringLiteral("drive faults found"));
  EXPECT_EQ(Cell(*table, 1, Past_Runs_View::Result), QStringLiteral("cut short"));
  EXPECT_EQ(Cell(*table, 2, Past_Runs_View::Date), QStringLiteral("2020-02-01 00:00:00 UTC"));
  EXPECT_EQ(Cell(*table, 2, Past_Runs_View::Read), QStringLiteral("30 MB/s"));
  EXPECT_EQ(Cell(*table, 3, Past_Runs_View::Duration), QStringLiteral("1 min 05 s"));

  const int stick = choice->findText(QStringLiteral("Stick (S1)"));
  ASSERT_GE(stick, 1);
  choice->setCurrentIndex(stick);
  ASSERT_EQ(table->model()->rowCount(), 3);
  EXPECT_EQ(Cell(*table, 0, Past_Runs_View::Result), QStringLiteral("cut short"));
  // Oldest first on the plot, the run cut short left out: the fall shows.
  ASSERT_EQ(plot->Points().size(), 2u);
  EXPECT_GT(plot->Points()[0].first, plot->Points()[1].first);
  EXPECT_GT(plot->Points()[0].second, plot->Points()[1].second);
  const QImage painted = plot->grab().toImage();
  EXPECT_FALSE(painted.isNull());

  choice->setCurrentIndex(0);
  table->setFocus();
  table->setCurrentIndex(table->model()->index(0, 0));
  QTest::keyClick(table, Qt::Key_Return);
  auto* text = view.findChild<QPlainTextEdit*>(QStringLiteral("Past_Run_Text"));
  ASSERT_NE(text, nullptr);
  for (int wait = 0; wait < 200 && !text->toPlainText().contains(QStringLiteral("bad.bin")); ++wait) QTest::qWait(50);
  EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("bad.bin  drive_fault/read: Input/output error")))
      << text->toPlainText().toStdString();
}

}  // namespace
}  // namespace palvimo::testing
