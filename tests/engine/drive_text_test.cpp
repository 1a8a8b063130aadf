#include "engine/drive_text.h"

#include <gtest/gtest.h>

#include "engine/drive_json.h"
#include "engine/run_record.h"
#include "engine/run_report.h"

namespace palvimo {
namespace {

Drive_Identity Usb_Stick() {
  Drive_Identity stick;
  stick.device = "/dev/sdb1";
  stick.disk = "/dev/sdb";
  stick.vendor = "SanDisk";
  stick.model = "Cruzer Blade";
  stick.serial = "4C530001220528103281";
  stick.size_bytes = 16'008'609'792;
  stick.bus = "usb";
  stick.removable = true;
  stick.file_system = "vfat";
  stick.label = "STICK";
  stick.uuid = "1A2B-3C4D";
  return stick;
}

Drive_Health No_Smart() {
  Drive_Health health;
  health.reason = "the USB bridge does not pass it";
  return health;
}

TEST(Drive_Text_Test, OneLineNamesTheDriveItsFileSystemAndHealth) {
  EXPECT_EQ(Drive_Text(Usb_Stick(), No_Smart()),
            "SanDisk Cruzer Blade 16 GB (USB, removable), serial 4C530001220528103281, vfat 'STICK' 1A2B-3C4D; "
            "SMART: not available (the USB bridge does not pass it)");

  Drive_Identity nvme;
  nvme.disk = "/dev/nvme0n1";
  nvme.vendor = "Samsung";
  nvme.model = "Samsung SSD 970 EVO Plus 500GB";
  nvme.bus = "nvme";
  nvme.file_system = "ext4";
  Drive_Health health;
  health.available = true;
  health.passed = true;
  health.power_on_hours = 6712;
  health.media_errors = 2;
  EXPECT_EQ(Drive_Text(nvme, health),
            "Samsung SSD 970 EVO Plus 500GB (NVMe), ext4; SMART: passed, 6,712 hours, 2 media errors");

  Drive_Identity memory;
  memory.file_system = "tmpfs";
  EXPECT_EQ(Drive_Text(memory, {false, "the drive's device is not known"}),
            "not on a drive, tmpfs; SMART: not available (the drive's device is not known)");
}

// A label is whatever bytes the file system holds: it must neither reach a
// terminal as a command nor break the JSON document.
TEST(Drive_Text_Test, LabelThatIsNoTextIsEscapedEverywhere) {
  Drive_Identity stick = Usb_Stick();
  stick.label = "EVIL\x1b[2J\xff";
  Run_Record record;
  record.Begin("/media/stick", {});
  record.Set_Drive(std::nullopt, stick, No_Smart());
  record.End();
  // Escaped once, where the report is written, as every figure is.
  const std::string report = Report_Text(record);
  EXPECT_NE(report.find("'EVIL\\x1b[2J\\xff'"), std::string::npos) << report;
  EXPECT_EQ(report.find("\\\\x1b"), std::string::npos) << report;
  const nlohmann::json drive = Drive_Json(stick, No_Smart());
  EXPECT_NO_THROW((void)drive.dump());
  EXPECT_EQ(drive["file_system"]["label_hex"], "4556494c1b5b324aff");
}

TEST(Drive_Text_Test, JsonHasEveryKeyWithUnknownsAsNull) {
  const nlohmann::json unknown = Drive_Json(Drive_Identity{}, No_Smart());
  for (const char* key : {"device", "backing_file", "disk", "vendor", "model", "serial", "size_bytes", "bus",
                          "removable"}) {
    ASSERT_TRUE(unknown.contains(key)) << key;
    EXPECT_TRUE(unknown[key].is_null()) << key;
  }
  EXPECT_EQ(unknown["health"]["available"], false);
  EXPECT_EQ(unknown["health"]["reason"], "the USB bridge does not pass it");
  EXPECT_TRUE(unknown["health"]["reallocated_sectors"].is_null());

  const nlohmann::json stick = Drive_Json(Usb_Stick(), No_Smart());
  EXPECT_EQ(stick["size_bytes"], 16'008'609'792u);
  EXPECT_EQ(stick["removable"], true);
  EXPECT_EQ(stick["file_system"]["uuid"], "1A2B-3C4D");
}

}  // namespace
}  // namespace palvimo
