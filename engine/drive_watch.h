#pragma once

#include <functional>
#include <future>
#include <optional>
#include <string>

#include "platform/drive_health.h"
#include "platform/drive_identity.h"
#include "platform/volume_source.h"

namespace palvimo {

// What was found of a run's folder as it began: the volume holding it, the
// drive behind that and the drive's health.
struct Drive_Found {
  std::optional<Volume> volume;
  Drive_Identity identity;
  Drive_Health health;
};

// Looks up the drive behind a folder and reads its health on threads of
// its own, since both ask the drive (a stat of the device, smartctl) and a
// stalled drive would hold whoever asked. Each answer comes as a future the
// caller waits on as it sees fit; a thread still stuck in the drive when
// the program ends is let go of, never waited for.
class Drive_Watch {
 public:
  // Where the watch gets what it tells, replaced by tests.
  struct Sources {
    std::function<std::optional<Volume>(const std::string& root)> find_volume;
    std::function<Drive_Identity(const Volume& volume)> identify;
    std::function<Drive_Health(const std::string& disk)> read_health;
  };

  // The system's: the mount table, udev and smartctl.
  Drive_Watch();
  explicit Drive_Watch(Sources sources);

  // The volume of `root`, its drive, and the drive's health when it has a
  // disk to ask.
  std::shared_future<Drive_Found> Look_Up(const std::string& root) const;
  // The health of `disk` as it is now.
  std::shared_future<Drive_Health> Read_Health(const std::string& disk) const;

 private:
  Sources sources_;
};

}  // namespace palvimo
