#include "platform/state_folder.h"

#include <cstdlib>

namespace palvimo {

std::string State_Folder() {
  // A relative XDG_STATE_HOME is to be ignored, as the base directory rules say.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    return std::string(state) + "/palvimo";
  }
  if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
    return std::string(home) + "/.local/state/palvimo";
  }
  return {};
}

}  // namespace palvimo
