#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace palvimo::testing {

// A folder tree made for one test under the system's temporary folder and
// removed with everything in it when the test ends.
class Temp_Tree {
 public:
  Temp_Tree() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/palvimo-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    root_ = pattern;
  }
  Temp_Tree(const Temp_Tree&) = delete;
  Temp_Tree& operator=(const Temp_Tree&) = delete;
  ~Temp_Tree() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
  }

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  // Makes a folder (and its parents) below the root; returns its full path.
  std::string Make_Dir(const std::string& relative) const {
    std::filesystem::create_directories(Path(relative));
    return Path(relative);
  }

  // Writes a file below the root, making its folders; returns its full path.
  std::string Write_File(const std::string& relative, const std::string& content = "data") const {
    const std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Every file below the root whose name ends in `extension`, such as probe
  // copies left behind.
  std::vector<std::string> Files_Ending_In(const std::string& extension) const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
      if (entry.path().extension() == extension) found.push_back(entry.path().string());
    }
    return found;
  }

  static std::string Read_File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string root_;
};

}  // namespace palvimo::testing
