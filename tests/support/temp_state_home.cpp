// Linked into every test program: the state folder (records, the journal of
// copies) is a temporary folder of the test's own, never the user's.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

// A test program that a test starts again shares its starter's folder,
// which the starter removes.
constexpr const char* Shared_Variable = "PALVIMO_TEST_STATE_HOME";

struct Temp_State_Home {
  Temp_State_Home() {
    if (const char* shared = getenv(Shared_Variable)) {
      setenv("XDG_STATE_HOME", shared, 1);
      return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "palvimo-state-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    setenv("XDG_STATE_HOME", folder.c_str(), 1);
    setenv(Shared_Variable, folder.c_str(), 1);
  }
  ~Temp_State_Home() {
    if (folder.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string folder;  // empty when shared
};

const Temp_State_Home State_Home;

}  // namespace
