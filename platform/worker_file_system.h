#pragma once

#include <memory>

#include "platform/file_system.h"
#include "platform/io_worker.h"

namespace palvimo {

// `real` with every call that may wait for the drive (opening a folder,
// reading its listing) run on `worker`, so that the window keeps answering
// while a drive stalls on a folder. Listings are read a batch of entries at a
// time, and a failure midway comes after the entries read before it. Calls
// throw Program_End when the program ends while they wait. Every job given
// to the worker shares what it uses, as one that a program ending leaves
// running outlives its caller; `worker` must outlive what this opens.
std::unique_ptr<File_System> Make_Worker_File_System(std::shared_ptr<File_System> real, Io_Worker& worker);

}  // namespace palvimo
