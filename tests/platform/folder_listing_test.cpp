#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "platform/check_error.h"
#include "platform/file_system.h"
#include "support/temp_tree.h"
#include "support/tmpfs_mount.h"

namespace palvimo {
namespace {

using testing::Temp_Tree;
using testing::Tmpfs_Mount;
using Paths = std::set<std::string>;

// The full paths of what a folder's collection yields.
Paths Collect(const Folder& folder, std::unique_ptr<Entry_Cursor> cursor) {
  Paths paths;
  while (auto name = cursor->Next()) paths.insert(folder.Path_Of(*name));
  return paths;
}

// Leaves a socket file at `path`, as a program serving on it would.
bool Make_Socket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return bound;
}

class Folder_Listing_Test : public ::testing::Test {
 protected:
  Temp_Tree tree_;
  std::unique_ptr<File_System> files_ = Make_Local_File_System();
};

enum class Kind { Regular, Folder, Fifo, Socket, Device, Link };

struct Entry_Case {
  const char* name;
  Kind kind;
  const char* link_target;
  bool is_file;
  bool is_subfolder;
};

TEST_F(Folder_Listing_Test, ListsRegularFilesAndRealFoldersOnly) {
  const Entry_Case cases[] = {
      {"plain.txt", Kind::Regular, "", true, false},
      {".hidden", Kind::Regular, "", true, false},
      {"sub", Kind::Folder, "", false, true},
      {".hidden_sub", Kind::Folder, "", false, true},
      {"fifo", Kind::Fifo, "", false, false},
      {"socket", Kind::Socket, "", false, false},
      {"device", Kind::Device, "", false, false},
      {"link_to_file", Kind::Link, "plain.txt", true, false},
      {"link_to_link_to_file", Kind::Link, "link_to_file", true, false},
      {"link_to_folder", Kind::Link, "sub", false, false},
      {"link_to_fifo", Kind::Link, "fifo", false, false},
      {"dangling", Kind::Link, "nowhere", false, false},
      {"loop_a", Kind::Link, "loop_b", false, false},
      {"loop_b", Kind::Link, "loop_a", false, false},
  };
  Paths expected_files, expected_subfolders;
  for (const auto& entry : cases) {
    const std::string path = tree_.Path(entry.name);
    switch (entry.kind) {
      case Kind::Regular: tree_.Write_File(entry.name); break;
      case Kind::Folder: tree_.Make_Dir(entry.name); break;
      case Kind::Fifo: ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); break;
      case Kind::Socket: ASSERT_TRUE(Make_Socket(path)); break;
      case Kind::Device:  // needs root; the case is left out without it
        mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3));
        break;
      case Kind::Link: ASSERT_EQ(symlink(entry.link_target, path.c_str()), 0); break;
    }
    if (entry.is_file) expected_files.insert(path);
    if (entry.is_subfolder) expected_subfolders.insert(path);
  }

  const auto folder = files_->Open_Folder(tree_.Root());
  EXPECT_EQ(Collect(*folder, folder->Files()), expected_files);
  EXPECT_EQ(Collect(*folder, folder->Subfolders()), expected_subfolders);
}

TEST_F(Folder_Listing_Test, PathHasNoTrailingSeparatorAndEntriesJoinWithOne) {
  const std::string file = tree_.Write_File("a.txt");
  for (const std::string& given : {tree_.Root(), tree_.Root() + "/", tree_.Root() + "///"}) {
    const auto folder = files_->Open_Folder(given);
    EXPECT_EQ(folder->Path(), tree_.Root()) << given;
    EXPECT_EQ(Collect(*folder, folder->Files()), Paths{file}) << given;
  }
  EXPECT_EQ(files_->Open_Folder("/")->Path(), "/");
  EXPECT_EQ(files_->Open_Folder("//")->Path(), "/");
}

// Inside a chroot the tree is "/", so its entries show how the root joins.
TEST_F(Folder_Listing_Test, EntriesOfTheRootFolderStartWithOneSeparator) {
  if (geteuid() != 0) GTEST_SKIP() << "chroot needs root";
  tree_.Write_File("top.txt");
  tree_.Make_Dir("inner");
  EXPECT_EXIT(
      {
        if (chroot(tree_.Root().c_str()) != 0 || chdir("/") != 0) std::_Exit(2);
        const auto folder = Make_Local_File_System()->Open_Folder("/");
        const bool joined = Collect(*folder, folder->Files()) == Paths{"/top.txt"} &&
                            Collect(*folder, folder->Subfolders()) == Paths{"/inner"};
        std::_Exit(joined ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Folder_Listing_Test, OpeningWhatIsNoReachableFolderThrows) {
  const std::string fifo = tree_.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {tree_.Path("missing"), tree_.Write_File("file.txt"), fifo}) {
    try {
      files_->Open_Folder(path);
      ADD_FAILURE() << "opened " << path;
    } catch (const Check_Error& error) {
      EXPECT_EQ(error.Path(), path);
      EXPECT_FALSE(error.Reason().empty());
    }
  }
}

TEST_F(Folder_Listing_Test, PseudoFileSystemIsRefused) {
  EXPECT_THROW(files_->Open_Folder("/proc"), Check_Error);
}

TEST_F(Folder_Listing_Test, MountPointOfAnotherFileSystemIsNotASubfolder) {
  const std::string plain = tree_.Make_Dir("plain");
  const Tmpfs_Mount mount(tree_.Path("mounted"), "1m");
  if (!mount.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::string inside = tree_.Write_File("mounted/inside.txt");

  const auto root = files_->Open_Folder(tree_.Root());
  EXPECT_EQ(Collect(*root, root->Subfolders()), Paths{plain});
  EXPECT_THROW(root->Open_Subfolder("mounted"), Check_Error);
  // Opened on its own, the mounted file system is storage like any other.
  const auto mounted = files_->Open_Folder(tree_.Path("mounted"));
  EXPECT_EQ(Collect(*mounted, mounted->Files()), Paths{inside});
}

// A subfolder swapped for a link after it was listed is not entered, even
// when the link leads to a real folder: the walk never leaves its tree.
TEST_F(Folder_Listing_Test, SubfolderSwappedForALinkIsNotOpened) {
  tree_.Write_File("outside/secret.txt");
  tree_.Make_Dir("root/sub");
  const auto root = files_->Open_Folder(tree_.Path("root"));
  EXPECT_EQ(root->Open_Subfolder("sub")->Path(), tree_.Path("root/sub"));
  std::filesystem::remove(tree_.Path("root/sub"));
  std::filesystem::create_directory_symlink(tree_.Path("outside"), tree_.Path("root/sub"));
  EXPECT_THROW(root->Open_Subfolder("sub"), Check_Error);
}

TEST_F(Folder_Listing_Test, EntriesThatVanishAfterTheListingIsReadAreSkipped) {
  for (int i = 0; i < 50; ++i) tree_.Make_Dir("gone" + std::to_string(i));
  const auto cursor = files_->Open_Folder(tree_.Root())->Subfolders();
  const auto first = cursor->Next();
  ASSERT_TRUE(first.has_value());
  for (int i = 0; i < 50; ++i) std::filesystem::remove(tree_.Path("gone" + std::to_string(i)));

  EXPECT_EQ(cursor->Next(), std::nullopt);
}

TEST_F(Folder_Listing_Test, CollectionsAreIndependentAndEachReadOnce) {
  const std::string file = tree_.Write_File("f");
  const std::string sub = tree_.Make_Dir("d");
  const auto folder = files_->Open_Folder(tree_.Root());
  const auto subfolders = folder->Subfolders();
  const auto files = folder->Files();
  EXPECT_EQ(folder->Path_Of(*files->Next()), file);
  EXPECT_EQ(folder->Path_Of(*subfolders->Next()), sub);
  EXPECT_EQ(files->Next(), std::nullopt);
  EXPECT_EQ(subfolders->Next(), std::nullopt);
}

}  // namespace
}  // namespace palvimo
