#include "platform/drive_identity.h"

#ifdef __linux__
#include <dirent.h>
#include <libudev.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <memory>
#endif

namespace palvimo {

#ifdef __linux__

namespace {

// Layers deeper than this are a loop of loop devices, not a drive.
constexpr int Deepest_Layer = 8;

struct Udev_Release {
  void operator()(udev* context) const { udev_unref(context); }
};
struct Device_Release {
  void operator()(udev_device* device) const { udev_device_unref(device); }
};
using Udev = std::unique_ptr<udev, Udev_Release>;
using Device = std::unique_ptr<udev_device, Device_Release>;

std::string Trimmed(const char* text) {
  if (!text) return {};
  std::string value = text;
  const auto first = value.find_first_not_of(" \t\n");
  if (first == std::string::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t\n") - first + 1);
}

std::optional<std::string> Known(std::string value) {
  if (value.empty()) return std::nullopt;
  return value;
}

// udev writes the spaces of a model or vendor as underscores in ID_MODEL.
std::string Spaced(std::string value) {
  std::replace(value.begin(), value.end(), '_', ' ');
  return value;
}

std::string Property(udev_device* device, const char* name) {
  return Trimmed(udev_device_get_property_value(device, name));
}

std::string Attribute(udev_device* device, const char* name) {
  return Trimmed(udev_device_get_sysattr_value(device, name));
}

// A device's vendor as a person would read it: not a PCI number such as
// "0x1af4", nor the "ATA" that SCSI names every SATA disk's vendor.
std::string Readable_Vendor(std::string vendor) {
  if (vendor.starts_with("0x") || vendor == "ATA") return {};
  return vendor;
}

std::string First_Of(std::initializer_list<std::string> values) {
  for (const std::string& value : values) {
    if (!value.empty()) return value;
  }
  return {};
}

udev_device* Usb_Parent(udev_device* device) {
  return udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
}

// How the drive is attached, from the subsystems of the devices above it: a
// USB disk is a SCSI disk too, and an NVMe drive a PCI device, so the more
// telling of those found wins.
std::optional<std::string> Bus_Of(udev_device* disk) {
  static constexpr const char* By_Precedence[] = {"usb", "nvme", "mmc", "virtio", "ata", "scsi"};
  std::string found = "," + Property(disk, "ID_BUS") + ",";
  for (udev_device* above = disk; above; above = udev_device_get_parent(above)) {
    found += Trimmed(udev_device_get_subsystem(above)) + ",";
  }
  // libata's ports name no subsystem on every kernel; their path does.
  const std::string path = Trimmed(udev_device_get_devpath(disk));
  if (path.find("/ata") != std::string::npos) found += "ata,";
  for (const char* bus : By_Precedence) {
    if (found.find("," + std::string(bus) + ",") != std::string::npos) return bus;
  }
  return std::nullopt;
}

std::string Node_Of(udev_device* device) {
  const char* node = udev_device_get_devnode(device);
  return node ? std::string(node) : "/dev/" + Trimmed(udev_device_get_sysname(device));
}

// Reads what a whole disk tells of itself: udev's properties where udev has
// seen it, else the kernel's attributes, of the disk and its USB device.
void Describe_Disk(udev_device* disk, Drive_Identity& identity) {
  udev_device* usb = Usb_Parent(disk);
  const auto usb_attribute = [usb](const char* name) { return usb ? Attribute(usb, name) : std::string(); };
  identity.disk = Node_Of(disk);
  identity.vendor = Known(Readable_Vendor(First_Of(
      {Spaced(Property(disk, "ID_VENDOR")), usb_attribute("manufacturer"), Attribute(disk, "device/vendor")})));
  identity.model = Known(First_Of({Attribute(disk, "device/model"), Spaced(Property(disk, "ID_MODEL")),
                                   usb_attribute("product")}));
  identity.serial = Known(First_Of({Property(disk, "ID_SERIAL_SHORT"), Attribute(disk, "device/serial"),
                                    Attribute(disk, "serial"), usb_attribute("serial")}));
  const std::string sectors = Attribute(disk, "size");
  if (!sectors.empty() && sectors.find_first_not_of("0123456789") == std::string::npos) {
    // The kernel counts a block device's size in 512-byte sectors whatever
    // the drive's own sector size.
    identity.size_bytes = std::stoull(sectors) * 512;
  }
  const std::string removable = Attribute(disk, "removable");
  if (removable == "0" || removable == "1") identity.removable = removable == "1";
  identity.bus = Bus_Of(disk);
}

std::vector<std::string> Slaves_Of(udev_device* device) {
  std::vector<std::string> slaves;
  const std::string folder = Trimmed(udev_device_get_syspath(device)) + "/slaves";
  DIR* listing = opendir(folder.c_str());
  if (!listing) return slaves;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") slaves.push_back(name);
  }
  closedir(listing);
  return slaves;
}

std::optional<dev_t> Block_Device_Of(const std::string& path, bool as_node) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  if (as_node) return S_ISBLK(status.st_mode) ? std::optional<dev_t>(status.st_rdev) : std::nullopt;
  // Major number 0 is the kernel's for volumes on no block device (tmpfs,
  // overlay, FUSE, and btrfs, whose device the mount table names instead).
  return major(status.st_dev) != 0 ? std::optional<dev_t>(status.st_dev) : std::nullopt;
}

// Follows `device` down to the drive that holds its data.
void Follow(udev* context, udev_device* device, Drive_Identity& identity, int depth) {
  const std::string name = Trimmed(udev_device_get_sysname(device));
  if (depth > Deepest_Layer) return;
  if (Trimmed(udev_device_get_devtype(device)) == "partition") {
    if (udev_device* whole = udev_device_get_parent_with_subsystem_devtype(device, "block", "disk")) {
      Follow(context, whole, identity, depth + 1);
    }
    return;
  }
  if (name.starts_with("loop")) {
    identity.layers.push_back(name);
    const std::string backing = Attribute(device, "loop/backing_file");
    if (!backing.empty()) {
      identity.backing_file = backing;
      if (const auto number = Block_Device_Of(backing, false)) {
        if (Device under{udev_device_new_from_devnum(context, 'b', *number)}) {
          Follow(context, under.get(), identity, depth + 1);
          return;
        }
      }
    }
    Describe_Disk(device, identity);
    return;
  }
  const std::vector<std::string> slaves = Slaves_Of(device);
  // A volume spread over several drives (RAID, LVM over many) has no one
  // drive to name: the device it is mounted from stands for them.
  if (slaves.size() == 1) {
    identity.layers.push_back(name);
    if (Device under{udev_device_new_from_subsystem_sysname(context, "block", slaves.front().c_str())}) {
      Follow(context, under.get(), identity, depth + 1);
      return;
    }
  }
  Describe_Disk(device, identity);
}

}  // namespace

Drive_Identity Identify_Drive(const Volume& volume) {
  Drive_Identity identity;
  identity.file_system = volume.Type;
  identity.uuid = volume.Uuid;
  identity.label = volume.Label;
  std::optional<dev_t> number;
  if (volume.Device.starts_with("/dev/")) number = Block_Device_Of(volume.Device, true);
  if (!number && !volume.Mount_Point.empty()) number = Block_Device_Of(volume.Mount_Point, false);
  if (!number) return identity;
  const Udev context{udev_new()};
  if (!context) return identity;
  const Device device{udev_device_new_from_devnum(context.get(), 'b', *number)};
  if (!device) return identity;
  identity.device = Node_Of(device.get());
  if (identity.uuid.empty()) identity.uuid = Property(device.get(), "ID_FS_UUID");
  if (identity.label.empty()) identity.label = Property(device.get(), "ID_FS_LABEL");
  Follow(context.get(), device.get(), identity, 0);
  return identity;
}

#else

Drive_Identity Identify_Drive(const Volume& volume) {
  Drive_Identity identity;
  identity.file_system = volume.Type;
  identity.uuid = volume.Uuid;
  identity.label = volume.Label;
  return identity;
}

#endif

}  // namespace palvimo
