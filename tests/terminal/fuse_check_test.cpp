#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/fuse_mount.h"
#include "support/temp_tree.h"
#include "terminal/program_run.h"

namespace palvimo::testing {
namespace {

namespace fs = std::filesystem;

// What stands for a file's content in a failure's message: its size and a
// hash of its bytes.
std::string Content_Of(const std::string& path) {
  const std::string content = Temp_Tree::Read_File(path);
  std::uint64_t hash = 14695981039346656037u;
  for (const char byte : content) hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211u;
  return std::to_string(content.size()) + " bytes, hash " + std::to_string(hash);
}

// Every entry below `folder`, hidden ones included, with a file's content.
std::map<std::string, std::string> Everything_In(const std::string& folder) {
  std::map<std::string, std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    found[name] = entry.is_regular_file() ? Content_Of(entry.path().string()) : "(folder)";
  }
  return found;
}

struct Drive_Kind {
  const char* name;
  std::vector<std::string> switches;

  friend void PrintTo(const Drive_Kind& kind, std::ostream* out) { *out << kind.name; }
};

// palvimo-check for a few seconds on a FUSE mount that behaves as one kind
// of driver does, over a healthy tree of the user's files.
class Fuse_Check_Test : public ::testing::TestWithParam<Drive_Kind> {
 protected:
  void SetUp() override {
    for (int index = 0; index < 24; ++index) {
      const std::string folder = index % 2 == 0 ? "folder/" : "folder/sub/";
      std::string content(16384 + 1000 * index, '\0');
      for (std::size_t at = 0; at < content.size(); ++at) content[at] = static_cast<char>((at * 131 + index) % 251);
      tree.Write_File(folder + "file" + std::to_string(index) + ".dat", content);
    }
    before = Everything_In(tree.Path("folder"));
    mount = std::make_unique<Fuse_Mount>(PASSTHROUGH_FS_PROGRAM, tree.Path("folder"), tree.Make_Dir("mount"),
                                         GetParam().switches);
  }

  // Runs palvimo-check on the mount: its exit status; its summary and the
  // failures it reported are kept.
  int Check(const char* duration) {
    Program_Run run({.arguments = {PALVIMO_CHECK_PROGRAM, "--json", "--delay", "0", "--duration", duration, tree.Path("mount")},
                     .environment = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "HOME=" + home.Root(),
                      "XDG_STATE_HOME=" + home.Path("state")}});
    const int status = run.Wait();
    failures.clear();
    std::istringstream lines(run.Out());
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] != '{') continue;
      const nlohmann::json value = nlohmann::json::parse(line);
      if (value.value("type", "") == "summary") summary = value;
      if (value.value("type", "") == "failure") failures += line + "\n";
    }
    errors = run.Err();
    return status;
  }

  Temp_Tree tree;
  Temp_Tree home;
  std::map<std::string, std::string> before;
  std::unique_ptr<Fuse_Mount> mount;
  nlohmann::json summary;
  std::string failures;
  std::string errors;
};

// Every probe verifies a copy, and the user's files are all there as they
// were, with nothing beside them.
TEST_P(Fuse_Check_Test, HealthyTreeIsCheckedAndLeftAsItWas) {
  if (!mount->Mounted()) GTEST_SKIP() << mount->Why_Not();
  const int status = Check("3s");
  EXPECT_EQ(status, 0) << failures << errors;
  ASSERT_TRUE(summary.is_object()) << errors;
  EXPECT_GT(summary["good"].get<long>(), 0) << failures;
  EXPECT_EQ(summary["failed"].get<long>(), 0) << failures;
  mount.reset();
  EXPECT_EQ(Everything_In(tree.Path("folder")), before);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, Fuse_Check_Test,
    ::testing::Values(Drive_Kind{"Plain", {}}, Drive_Kind{"NoLink", {"--no-link"}},
                      Drive_Kind{"NoStableInodes", {"--no-stable-inodes"}}, Drive_Kind{"NoXattr", {"--no-xattr"}},
                      Drive_Kind{"HardRemove", {"--hard-remove"}},
                      Drive_Kind{"LikeExfat", {"--no-link", "--no-xattr", "--no-stable-inodes"}}),
    [](const ::testing::TestParamInfo<Drive_Kind>& kind) { return std::string(kind.param.name); });

// A removal the drive fails once leaves a copy behind; the next run knows it
// for its own and removes it.
class Fuse_Unlink_Test : public Fuse_Check_Test {};

TEST_P(Fuse_Unlink_Test, CopyLeftByAFailedRemovalIsRemovedByTheNextRun) {
  if (!mount->Mounted()) GTEST_SKIP() << mount->Why_Not();
  Check("2s");
  ASSERT_TRUE(summary.is_object()) << errors;
  EXPECT_EQ(Check("2s"), 0) << failures << errors;
  mount.reset();
  EXPECT_EQ(Everything_In(tree.Path("folder")), before);
}

// The removal fails while the name is still the copy's: no later rename of
// the driver's own hides the copy under a name of its choosing.
// Without extended attributes the copy carries no mark: it takes the journal
// of copies kept off the drive for the next run to know it as its own.
INSTANTIATE_TEST_SUITE_P(
    Drivers, Fuse_Unlink_Test,
    ::testing::Values(Drive_Kind{"UnlinkEioOnce", {"--unlink-eio-once", "--hard-remove"}},
                      Drive_Kind{"UnlinkEioOnceNoXattr", {"--unlink-eio-once", "--hard-remove", "--no-xattr"}}),
    [](const ::testing::TestParamInfo<Drive_Kind>& kind) { return std::string(kind.param.name); });

}  // namespace
}  // namespace palvimo::testing
