#pragma once

#include <memory>

#include "platform/file_system.h"
#include "platform/io_worker.h"

namespace palvimo {

// `real` with every call that may wait for the drive (opening a folder,
// reading its listing) run on `worker`, so that the window keeps answering
// while a drive stalls on a folder. Listings are read a batch of entries at a
// time, and a failure midway comes after the entries read before it. Calls
// throw Program_End when the program ends while they wait. `real` and
// `worker` must outlive what it opens.
std::unique_ptr<File_System> Make_Worker_File_System(File_System& real, Io_Worker& worker);

}  // namespace palvimo
