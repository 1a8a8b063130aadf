#pragma once

#include <memory>

#include "platform/volume_source.h"

namespace palvimo {

// The volumes of the machine the program runs on: the kernel's mount table
// on Linux, Qt's list of storage volumes elsewhere.
std::unique_ptr<Volume_Source> Make_System_Volumes();

}  // namespace palvimo
