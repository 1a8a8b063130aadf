#include "platform/drive_health.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace palvimo {
namespace {

std::string Sample(const std::string& name) {
  std::ifstream file(std::string(PALVIMO_TEST_DATA) + "/smartctl/" + name);
  std::ostringstream text;
  text << file.rdbuf();
  if (text.str().empty()) throw std::runtime_error("missing test data: " + name);
  return text.str();
}

// Recorded outputs of `smartctl -j -a`, as drives of each kind give them.
TEST(Drive_Health_Test, ReadsEachKindOfDrive) {
  const Drive_Health healthy = Parse_Smartctl_Json(Sample("sata-healthy.json"));
  ASSERT_TRUE(healthy.available);
  EXPECT_EQ(healthy.passed, true);
  EXPECT_EQ(healthy.power_on_hours, 10453u);
  EXPECT_EQ(healthy.temperature_celsius, 34);
  EXPECT_EQ(healthy.reallocated_sectors, 0u);
  EXPECT_EQ(healthy.pending_sectors, 0u);
  EXPECT_EQ(healthy.uncorrectable_sectors, 0u);
  EXPECT_FALSE(healthy.media_errors);

  // The raw counts, not the normalised values beside them.
  const Drive_Health worn = Parse_Smartctl_Json(Sample("sata-reallocated.json"));
  ASSERT_TRUE(worn.available);
  EXPECT_EQ(worn.reallocated_sectors, 1184u);
  EXPECT_EQ(worn.pending_sectors, 24u);
  EXPECT_EQ(worn.uncorrectable_sectors, 16u);

  const Drive_Health nvme = Parse_Smartctl_Json(Sample("nvme.json"));
  ASSERT_TRUE(nvme.available);
  EXPECT_EQ(nvme.passed, true);
  EXPECT_EQ(nvme.media_errors, 2u);
  EXPECT_EQ(nvme.power_on_hours, 6712u);
  EXPECT_EQ(nvme.temperature_celsius, 38);
  EXPECT_FALSE(nvme.reallocated_sectors);

  const Drive_Health stick = Parse_Smartctl_Json(Sample("usb-stick.json"));
  EXPECT_FALSE(stick.available);
  EXPECT_EQ(stick.reason, "the USB bridge does not pass it");
  EXPECT_FALSE(stick.passed);
}

TEST(Drive_Health_Test, OutputThatIsNotSmartGivesAReason) {
  EXPECT_EQ(Parse_Smartctl_Json("").reason, "smartctl's output is not JSON");
  EXPECT_FALSE(Parse_Smartctl_Json("{\"smart_status\": ").available);
  const Drive_Health denied = Parse_Smartctl_Json(
      R"({"smartctl": {"exit_status": 2, "messages": [{"string": "Smartctl open device: /dev/sda failed: )"
      R"(Permission denied", "severity": "error"}]}})");
  EXPECT_FALSE(denied.available);
  EXPECT_EQ(denied.reason, "permission denied; smartctl needs root");
  // A count of the wrong type is unknown, not zero.
  const Drive_Health odd = Parse_Smartctl_Json(
      R"({"smart_status": {"passed": "yes"}, "power_on_time": {"hours": -3},)"
      R"( "ata_smart_attributes": {"table": [{"id": 5, "raw": {"value": "many"}}]}})");
  EXPECT_TRUE(odd.available);
  EXPECT_FALSE(odd.passed);
  EXPECT_FALSE(odd.power_on_hours);
  EXPECT_FALSE(odd.reallocated_sectors);
}

TEST(Drive_Health_Test, SectorsReallocatedDuringARunMakeItWorse) {
  const Drive_Health start = Parse_Smartctl_Json(Sample("sata-healthy.json"));
  Drive_Health end = start;
  EXPECT_FALSE(Health_Difference(start, end).Worse());
  EXPECT_EQ(Health_Difference(start, end).reallocated_sectors, 0);

  end = Parse_Smartctl_Json(Sample("sata-reallocated.json"));
  const Health_Change change = Health_Difference(start, end);
  EXPECT_TRUE(change.Worse());
  EXPECT_EQ(change.reallocated_sectors, 1184);
  EXPECT_EQ(change.pending_sectors, 24);
  EXPECT_FALSE(change.media_errors);

  // Pending sectors that the drive rewrote in place go down: no worse.
  EXPECT_FALSE(Health_Difference(end, start).Worse());

  end.passed = false;
  EXPECT_TRUE(Health_Difference(start, end).began_failing);
  // Nothing is compared with a drive that gave no SMART at the start.
  EXPECT_FALSE(Health_Difference(Parse_Smartctl_Json(Sample("usb-stick.json")), start).Worse());
}

TEST(Drive_Health_Test, ReadingADriveThatIsNotThereNeverThrows) {
  EXPECT_EQ(Read_Drive_Health("").reason, "the drive's device is not known");
  const Drive_Health absent = Read_Drive_Health("/dev/palvimo-no-such-drive");
  EXPECT_FALSE(absent.available);
  EXPECT_FALSE(absent.reason.empty());
}

}  // namespace
}  // namespace palvimo
