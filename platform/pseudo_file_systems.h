#pragma once

#include <cstdint>
#include <string_view>

namespace palvimo {

// The file systems through which the kernel shows itself (processes, devices,
// control groups, tracing, firmware variables...). Their "files" are no data
// on a drive; some of them act when read, and a check has nothing to
// exercise there.

// True for such a type as the mount table names it ("proc", "devtmpfs"...).
bool Is_Pseudo_File_System_Type(std::string_view name);

// True for such a type as statfs numbers it. devtmpfs bears the number of
// tmpfs, which is ordinary storage: only its name tells it apart.
bool Is_Pseudo_File_System_Number(std::uint32_t number);

// True for a mount point in the kernel's own folders, /proc, /sys and /dev,
// whatever is mounted there: a tmpfs that holds the control groups or
// shared memory, not a drive of the user's.
bool Is_Kernel_Mount_Point(std::string_view path);

}  // namespace palvimo
