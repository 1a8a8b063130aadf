#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace palvimo {

// What a drive says of its own health through SMART, as smartctl reads it.
// Every figure the drive does not give is null.
struct Drive_Health {
  bool available = false;
  // Why there is nothing, in a few plain words, when not available: "smartctl
  // is not installed", "the USB bridge does not pass it"...
  std::string reason;
  // The drive's own overall assessment.
  std::optional<bool> passed = {};
  std::optional<std::uint64_t> power_on_hours = {};
  std::optional<std::int64_t> temperature_celsius = {};
  // ATA attributes 5, 197 and 198, raw.
  std::optional<std::uint64_t> reallocated_sectors = {};
  std::optional<std::uint64_t> pending_sectors = {};
  std::optional<std::uint64_t> uncorrectable_sectors = {};
  // NVMe's count of unrecovered data integrity errors.
  std::optional<std::uint64_t> media_errors = {};
};

// How the health changed over a run: each count's growth, where it is known
// at both ends.
struct Health_Change {
  std::optional<std::int64_t> reallocated_sectors = {};
  std::optional<std::int64_t> pending_sectors = {};
  std::optional<std::int64_t> uncorrectable_sectors = {};
  std::optional<std::int64_t> media_errors = {};
  // The drive's overall assessment went from passed to failed.
  bool began_failing = false;

  // Whether the drive got worse: a count grew or the assessment failed. A
  // drive that reallocates sectors while it is checked is failing under
  // the check.
  bool Worse() const;
};

// The health that `smartctl -j -a` printed. Pure; never throws: output that
// is no JSON, or holds no SMART data, gives an unavailable health with the
// reason smartctl's messages give.
Drive_Health Parse_Smartctl_Json(const std::string& text);

// The change from `start` to `end`.
Health_Change Health_Difference(const Drive_Health& start, const Drive_Health& end);

// Runs smartctl on `disk` ("/dev/sda"), without a shell, and waits at most
// `timeout` for it. Never throws: a missing smartctl, a disk it may not open,
// a drive without SMART or a hung drive each give an unavailable health and
// its reason.
Drive_Health Read_Drive_Health(const std::string& disk,
                               std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace palvimo
