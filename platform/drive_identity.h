#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/volume_source.h"

namespace palvimo {

// Which drive holds a volume, as far as the system can tell: the answer to
// "which disk is this?" that a report carries beside its figures. Every
// field the system does not tell is left empty or null, never guessed.
struct Drive_Identity {
  // The block device the volume is mounted from ("/dev/sdb1", "/dev/dm-0");
  // null where there is none (tmpfs, overlay, a network file system).
  std::optional<std::string> device = {};
  // Each layer between that device and the drive, in order: "dm-0",
  // "loop3"... Empty for a plain partition or disk.
  std::vector<std::string> layers = {};
  // The file a loop device in the way reads and writes.
  std::optional<std::string> backing_file = {};
  // The whole drive under the device ("/dev/sdb" for "/dev/sdb1"); the loop
  // device itself where its file lies on no drive.
  std::optional<std::string> disk = {};
  std::optional<std::string> vendor = {};
  std::optional<std::string> model = {};
  std::optional<std::string> serial = {};
  std::optional<std::uint64_t> size_bytes = {};
  // How the drive is attached: "usb", "ata", "nvme", "mmc", "virtio", "scsi".
  std::optional<std::string> bus = {};
  std::optional<bool> removable = {};
  // The file system, as the mount table and udev name it.
  std::string file_system = {};
  std::string uuid = {};
  std::string label = {};
};

// The drive behind `volume`, found from its device through dm, LVM and loop
// devices and partitions to the whole disk. Never throws: what cannot be
// found (no device, no udev, no permission) is left unknown.
Drive_Identity Identify_Drive(const Volume& volume);

}  // namespace palvimo
