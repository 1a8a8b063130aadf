#include "engine/record_json.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace palvimo {
namespace {

// The verdict for machines counts the drive's faults only, and a run that
// checked nothing never reads as a sound drive.
TEST(Record_Json, VerdictCountsDriveFaultsAndNothingCheckedIsNoCleanBill) {
  Run_Record record;
  record.Begin("/data", Run_Settings{".PVF", "soon", true});
  record.Add_Failure("/data/locked", {}, Failure_Kind::Permission_Denied, "cannot open: Permission denied", EACCES);
  record.End();
  nlohmann::json summary = Summary_Json(record);
  EXPECT_EQ(summary["verdict"], "nothing checked");
  EXPECT_EQ(summary["ended_because"], "stopped");
  EXPECT_TRUE(summary["exit_status"].is_null());
  EXPECT_EQ(summary["failed_by_class"], nlohmann::json({{"drive_fault", 0}, {"not_checked", 1}}));

  record.Begin("/data", Run_Settings{".PVF", "250", true});
  record.Add_Probe("/data/fine", {});
  record.Add_Failure("/data/locked", {}, Failure_Kind::Permission_Denied, "cannot open: Permission denied", EACCES);
  record.End();
  EXPECT_EQ(Summary_Json(record, {"signal", 130})["verdict"], "no drive faults");
  EXPECT_EQ(Summary_Json(record, {"signal", 130})["exit_status"], 130);

  record.Add_Failure("/data/bad", {}, Failure_Kind::Read, "cannot read: Input/output error", EIO);
  summary = Summary_Json(record);
  EXPECT_EQ(summary["verdict"], "drive faults found");
  EXPECT_EQ(summary["failed_by_class"], nlohmann::json({{"drive_fault", 1}, {"not_checked", 1}}));
  EXPECT_EQ(summary["failed_by_kind"]["read"], 1);
}

// Each failure names its class, step and the system's error by name and
// number; one with no system error has none.
TEST(Record_Json, FailureCarriesClassAndErrno) {
  Failure_Entry failure{{}, "/data/bad", Failure_Kind::Read, "cannot read: Input/output error", EIO};
  nlohmann::json line = Failure_Json(failure);
  EXPECT_EQ(line["class"], "drive_fault");
  EXPECT_EQ(line["kind"], "read");
  EXPECT_EQ(line["step"], "read");
  EXPECT_EQ(line["error_number"], EIO);
#ifdef __GLIBC__
  EXPECT_EQ(line["errno"], "EIO");
#endif
  failure = {{}, "/data/x", Failure_Kind::Data_Changed, "the copy differs", 0};
  line = Failure_Json(failure);
  EXPECT_EQ(line["class"], "drive_fault");
  EXPECT_TRUE(line["errno"].is_null());
  EXPECT_EQ(line["error_number"], 0);
}

// The header names the form's version, the program and its command line,
// byte for byte where an argument is no UTF-8, and the pause as a number.
TEST(Record_Json, HeaderNamesTheFormProgramAndCommandLine) {
  Run_Record record;
  record.Begin("/data", Run_Settings{".PVF", "soon", false});
  Set_Program_Origin("palvimo-check", {"palvimo-check", "-n", "3", "/da\xfft"});
  const nlohmann::json header = Run_Header_Json(record, Volume{"/", "ext4", "root", "/dev/sda1", "1234-ABCD"});
  Set_Program_Origin("palvimo", {});
  EXPECT_EQ(header["json_format_version"], nlohmann::json::array({1, 0}));
  EXPECT_EQ(header["program"], "palvimo-check");
  EXPECT_EQ(header["command_line"], nlohmann::json::array({"palvimo-check", "-n", "3", "/da\\xfft"}));
  EXPECT_EQ(header["command_line_hex"][3], "2f6461ff74");
  // A pause typed as no number makes none, and what was typed is kept.
  EXPECT_EQ(header["settings"]["delay"], 0);
  EXPECT_EQ(header["settings"]["delay_text"], "soon");
  EXPECT_EQ(header["volume"]["id"], "uuid:1234-ABCD");
  EXPECT_EQ(header["volume"]["device"], "/dev/sda1");
  EXPECT_FALSE(Run_Header_Json(record).contains("command_line"));
}

}  // namespace
}  // namespace palvimo
