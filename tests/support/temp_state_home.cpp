// Linked into every test program: the state folder (records, the journal of
// copies) is a temporary folder of the test's own, never the user's.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct Temp_State_Home {
  Temp_State_Home() {
    std::string pattern = (std::filesystem::temp_directory_path() / "palvimo-state-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    setenv("XDG_STATE_HOME", folder.c_str(), 1);
  }
  ~Temp_State_Home() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string folder;
};

const Temp_State_Home State_Home;

}  // namespace
