#pragma once

#include <filesystem>
#include <vector>

namespace palvimo::bench {

struct Copy_Figures {
  double Copy_Vs_Cp = 0;          // median probe copy time / median cp time
  double Device_Read_Ratio = 0;   // bytes read from the drive / bytes probed
  double Device_Write_Ratio = 0;  // bytes written to the drive / bytes probed
};

// Copies every file once with the program's probe copier (copy, flush,
// delete) and once with cp --reflink=never, sync and rm, each from a cold
// page cache, alternating which goes first from file to file. The drive
// traffic is counted over the probe copies alone. The probe's read-back of
// its copy, which cp does not do, is left out of its time and its reads.
Copy_Figures Run_Copy_Bench(const std::vector<std::filesystem::path>& files);

}  // namespace palvimo::bench
