#pragma once

#include <string>
#include <vector>

namespace palvimo::bench {

// Runs a program found on PATH to its end, its standard output thrown away.
// Throws std::runtime_error when it cannot be started or does not exit with
// status 0.
void Run_Command(const std::vector<std::string>& arguments);

}  // namespace palvimo::bench
