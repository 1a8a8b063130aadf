#include "engine/drive_text.h"

#include "engine/run_report.h"

namespace palvimo {

namespace {

std::string Bus_Name(const std::string& bus) {
  if (bus == "usb") return "USB";
  if (bus == "ata") return "SATA";
  if (bus == "nvme") return "NVMe";
  if (bus == "mmc") return "SD/MMC";
  if (bus == "scsi") return "SCSI";
  return bus;
}

// "SanDisk Cruzer Blade": the vendor left out where the model already
// starts with it ("Samsung SSD 970 EVO").
std::string Drive_Name(const Drive_Identity& identity) {
  const std::string model = identity.model.value_or("");
  const std::string vendor = identity.vendor.value_or("");
  if (model.empty()) return vendor.empty() ? identity.disk.value_or("unknown drive") : vendor;
  if (vendor.empty() || model.starts_with(vendor)) return model;
  return vendor + " " + model;
}

void Add(std::string& text, const std::string& separator, const std::string& part) {
  if (part.empty()) return;
  if (!text.empty()) text += separator;
  text += part;
}

std::string Count_Of(std::uint64_t count, const char* what) { return Format_Count(count) + " " + what; }

std::string Change_Of(const std::optional<std::int64_t>& change, const char* what) {
  if (!change || *change == 0) return {};
  const std::string amount = *change > 0 ? Format_Count(static_cast<std::uint64_t>(*change))
                                         : "-" + Format_Count(static_cast<std::uint64_t>(-*change));
  return amount + " " + what;
}

}  // namespace

std::string Health_Text(const Drive_Health& health) {
  if (!health.available) return "SMART: not available (" + health.reason + ")";
  std::string figures;
  if (health.passed) Add(figures, ", ", *health.passed ? "passed" : "FAILED");
  if (health.power_on_hours) Add(figures, ", ", Count_Of(*health.power_on_hours, "hours"));
  if (health.temperature_celsius) Add(figures, ", ", std::to_string(*health.temperature_celsius) + " °C");
  if (health.reallocated_sectors) Add(figures, ", ", Count_Of(*health.reallocated_sectors, "reallocated sectors"));
  if (health.pending_sectors.value_or(0) > 0) Add(figures, ", ", Count_Of(*health.pending_sectors, "pending"));
  if (health.uncorrectable_sectors.value_or(0) > 0) {
    Add(figures, ", ", Count_Of(*health.uncorrectable_sectors, "uncorrectable"));
  }
  if (health.media_errors) Add(figures, ", ", Count_Of(*health.media_errors, "media errors"));
  return "SMART: " + (figures.empty() ? std::string("available") : figures);
}

std::string Drive_Text(const Drive_Identity& identity, const Drive_Health& health) {
  std::string drive;
  if (identity.disk) {
    drive = Drive_Name(identity);
    if (identity.size_bytes) drive += " " + Format_Bytes(*identity.size_bytes);
    std::string how;
    if (identity.bus) Add(how, ", ", Bus_Name(*identity.bus));
    if (identity.removable.value_or(false)) Add(how, ", ", "removable");
    if (!how.empty()) drive += " (" + how + ")";
    if (identity.serial) drive += ", serial " + *identity.serial;
    // A loop device's data lies in a file, which a person looks for first.
    if (identity.backing_file) drive = "the file " + *identity.backing_file + " on " + drive;
  } else {
    drive = "not on a drive";
  }
  std::string file_system = identity.file_system;
  if (!identity.label.empty()) Add(file_system, " ", "'" + identity.label + "'");
  Add(file_system, " ", identity.uuid);
  Add(drive, ", ", file_system);
  return drive + "; " + Health_Text(health);
}

std::string Health_Change_Text(const Health_Change& change) {
  if (!change.reallocated_sectors && !change.pending_sectors && !change.uncorrectable_sectors &&
      !change.media_errors && !change.began_failing) {
    return {};
  }
  std::string text;
  if (change.began_failing) text = "SMART assessment turned to FAILED";
  Add(text, ", ", Change_Of(change.reallocated_sectors, "sectors reallocated"));
  Add(text, ", ", Change_Of(change.pending_sectors, "pending"));
  Add(text, ", ", Change_Of(change.uncorrectable_sectors, "uncorrectable"));
  Add(text, ", ", Change_Of(change.media_errors, "media errors"));
  return text.empty() ? "no change" : text + " during the run";
}

}  // namespace palvimo
