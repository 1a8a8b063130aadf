#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>

#include "engine/catalogue.h"
#include "engine/recent_rows.h"
#include "engine/scrub.h"
#include "support/random_content.h"
#include "support/restarted_program.h"
#include "support/silent_change.h"
#include "check_fixture.h"

namespace palvimo::testing {
namespace {

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;

// Edits a file as a user would: new content, a new modification time.
void Edit(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "more", 4), 4);
  const timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 100, 0}};
  ASSERT_EQ(futimens(fd, later), 0);
  close(fd);
}

// What a scrub tells, kept; it stops once `stop_after` files are read.
class Kept_Scrub : public Scrub_Listener {
 public:
  std::uint64_t stop_after = ~std::uint64_t{0};
  std::vector<Failure_Entry> failures;
  Scrub_Progress last;

  void Progress(const Scrub_Progress& progress) override { last = progress; }
  void Failed(const Failure_Entry& failure) override { failures.push_back(failure); }
  bool Stop_Requested() override { return last.files_read >= stop_after; }
};

class Catalogue_Test : public Check_Fixture {
 protected:
  Catalogue_Test() {
    std::filesystem::create_directories(data);
    services.Catalogue_Folder = state_folder;
  }

  // One walk of the data folder that probes every file of it.
  Run_Record Probe_All(std::size_t file_count) {
    Run_Record record;
    record.Begin(data, {});
    Folder_Walk walk(state, window, services, record);
    for (std::size_t i = 0; i < file_count; ++i) random.Script.push_back(0.0f);
    const auto root = walk.Open_Root(data);
    walk.Walk_Root(*root);
    record.End();
    return record;
  }

  Scrub_Result Scrub_Data(Kept_Scrub& listener, bool all = false) {
    Catalogue catalogue(state_folder, data);
    Scrub scrub(*real_files, catalogue, Scrub::Settings{all, std::chrono::hours(24)}, listener);
    return scrub.Run(data);
  }

  const std::string data = tree.Path("data");
  const std::string state_folder = tree.Path("state/catalogue");
};

TEST_F(Catalogue_Test, DriveChangeUnderUnchangedTimesIsFoundByTheNextProbeAndByTheScrub) {
  const std::string file = tree.Write_File("data/photo.raw", Random_Content(3 * MiB + 5));
  const Run_Record first = Probe_All(1);
  ASSERT_EQ(first.Probes(), 1u);
  EXPECT_EQ(first.Failed(), 0u);

  Change_Silently(file, 2 * MiB + 10);
  const Run_Record second = Probe_All(1);
  ASSERT_EQ(second.Failed_Of(Failure_Kind::Silent_Change), 1u);
  EXPECT_EQ(second.Failures()[0].path, file);
  EXPECT_EQ(second.Failures()[0].reason, Silent_Change_Reason(2 * MiB));
  EXPECT_TRUE(Copies_Left().empty());

  // The content as catalogued stays the reference: the scrub finds it too.
  Kept_Scrub listener;
  const Scrub_Result scrub = Scrub_Data(listener, true);
  EXPECT_EQ(scrub.tally.drive_faults, 1u);
  ASSERT_EQ(listener.failures.size(), 1u);
  EXPECT_EQ(listener.failures[0].kind, Failure_Kind::Silent_Change);
  EXPECT_EQ(Scrub_Exit_Status(scrub), 1);
}

TEST_F(Catalogue_Test, EditWithANewModificationTimeIsCataloguedAgainQuietly) {
  const std::string file = tree.Write_File("data/notes.txt", Random_Content(MiB + 1));
  Kept_Scrub first_listener;
  EXPECT_EQ(Scrub_Data(first_listener).tally.files_new, 1u);
  Edit(file);
  const Run_Record probe = Probe_All(1);
  EXPECT_EQ(probe.Failed(), 0u);
  Kept_Scrub listener;
  const Scrub_Result scrub = Scrub_Data(listener, true);
  EXPECT_EQ(scrub.tally.files_verified, 1u);
  EXPECT_EQ(scrub.tally.drive_faults, 0u);
  EXPECT_EQ(Scrub_Exit_Status(scrub), 0);
}

// Every entry of the tree with what a write of any kind would change; the
// access time of the files read, which listing a folder or resolving a link
// may move under relatime.
std::map<std::string, std::tuple<std::uintmax_t, std::int64_t, std::int64_t, std::int64_t>> Tree_State(
    const std::string& root) {
  std::map<std::string, std::tuple<std::uintmax_t, std::int64_t, std::int64_t, std::int64_t>> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    struct stat status {};
    lstat(entry.path().c_str(), &status);
    const auto ns = [](const timespec& time) { return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec; };
    found[entry.path().string()] = {static_cast<std::uintmax_t>(status.st_size), ns(status.st_mtim),
                                    ns(status.st_ctim), S_ISREG(status.st_mode) ? ns(status.st_atim) : 0};
  }
  return found;
}

TEST_F(Catalogue_Test, ScrubReadsEveryFileAndWritesNothingInTheTree) {
  for (int i = 0; i < 6; ++i) {
    tree.Write_File("data/" + std::string(i % 2 ? "deep/er/" : "") + "f" + std::to_string(i),
                    Random_Content(static_cast<std::size_t>(i) * 700'000));
  }
  std::filesystem::create_symlink("f0", data + "/link");
  // Access times that a read would move under relatime.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    const timespec old_times[2] = {{1000, 0}, {2000, 0}};
    utimensat(AT_FDCWD, entry.path().c_str(), old_times, 0);
  }
  const auto before = Tree_State(data);
  Kept_Scrub listener;
  const Scrub_Result scrub = Scrub_Data(listener);
  EXPECT_EQ(scrub.progress.files_total, 6u);
  EXPECT_EQ(scrub.progress.files_read, 6u);
  EXPECT_EQ(scrub.progress.bytes_read, scrub.progress.bytes_total);
  EXPECT_EQ(scrub.tally.files_new, 6u);
  EXPECT_TRUE(listener.failures.empty());
  EXPECT_EQ(Tree_State(data), before);
}

TEST_F(Catalogue_Test, InterruptedScrubGoesOnWhereItStopped) {
  for (int i = 0; i < 5; ++i) tree.Write_File("data/f" + std::to_string(i), Random_Content(1000));
  Kept_Scrub cut_short;
  cut_short.stop_after = 2;
  const Scrub_Result first = Scrub_Data(cut_short);
  EXPECT_TRUE(first.stopped);
  EXPECT_EQ(first.progress.files_read, 2u);

  Kept_Scrub rest;
  const Scrub_Result second = Scrub_Data(rest);
  EXPECT_FALSE(second.stopped);
  EXPECT_EQ(second.progress.files_skipped, 2u);
  EXPECT_EQ(second.progress.files_read, 3u);
  EXPECT_EQ(second.tally.files_new, 3u);

  Kept_Scrub all;
  EXPECT_EQ(Scrub_Data(all, true).tally.files_verified, 5u);
}

const Volume Stick{"/media/stick", "ext4", "STICK", "/dev/sdz1", "1234-abcd"};
const File_Stamp Stamp{3, 10, 20, 30, 40};

// A program whose catalogue writer is cut off mid-batch: one file kept and
// flushed, thousands more asked for, and the process gone with them.
const bool Killed_Writer_Role = Claim_Role("killed catalogue writer", [](const std::vector<std::string>& arguments) {
  Catalogue catalogue(arguments.at(0), Stick);
  catalogue.Check("/media/stick/kept", Stamp, {42});
  catalogue.Flush();
  for (int i = 0; i < 5000; ++i) catalogue.Check("/media/stick/many/" + std::to_string(i), Stamp, {7});
  _exit(0);
});

TEST_F(Catalogue_Test, CatalogueSurvivesItsWriterKilledMidBatch) {
  const Volume& volume = Stick;
  const File_Stamp& stamp = Stamp;
  const int status = Run_In_Role("killed catalogue writer", {state_folder});
  ASSERT_TRUE(WIFEXITED(status)) << status;

  Catalogue catalogue(state_folder, volume);
  EXPECT_EQ(catalogue.Check("/media/stick/kept", stamp, {42}).get().outcome, Catalogue_Outcome::Verified);
  EXPECT_EQ(catalogue.Check("/media/stick/kept", stamp, {43}).get().outcome, Catalogue_Outcome::Silent_Change);
  EXPECT_EQ(catalogue.Check("/media/stick/new", stamp, {1}).get().outcome, Catalogue_Outcome::New);
  EXPECT_FALSE(catalogue.Problem());
}

// A catalogue opened on a folder of few files holds their rows: a probe of
// one is answered at once, a drive change included.
TEST_F(Catalogue_Test, FewFilesUnderTheRootAreComparedWithoutWaitingOnTheDatabase) {
  const std::string file = data + "/sub/f";
  const File_Stamp& stamp = Stamp;
  {
    Catalogue first(state_folder, data);
    EXPECT_EQ(first.Check(file, stamp, {1}).get().outcome, Catalogue_Outcome::New);
  }
  Catalogue catalogue(state_folder, data);
  catalogue.Flush();
  auto same = catalogue.Check(file, stamp, {1});
  ASSERT_EQ(same.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_EQ(same.get().outcome, Catalogue_Outcome::Verified);
  auto changed = catalogue.Check(file, stamp, {2});
  ASSERT_EQ(changed.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_EQ(changed.get().outcome, Catalogue_Outcome::Silent_Change);
}

// A catalogue let go is closed by then, its log taken back into the
// database: a program ending at once leaves one file, whole.
TEST_F(Catalogue_Test, CatalogueLetGoIsLeftOneFile) {
  std::string file;
  {
    Catalogue catalogue(state_folder, Stick);
    EXPECT_EQ(catalogue.Check("/media/stick/f", Stamp, {1}).get().outcome, Catalogue_Outcome::New);
    file = catalogue.File();
  }
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
  Catalogue again(state_folder, Stick);
  EXPECT_EQ(again.Check("/media/stick/f", Stamp, {1}).get().outcome, Catalogue_Outcome::Verified);
}

// A catalogue that cannot be kept says why, answers every probe "not kept",
// and, once it knows, answers at once instead of on its thread.
TEST_F(Catalogue_Test, CatalogueThatCannotBeKeptAnswersAtOnce) {
  const std::string blocked = state_folder + "/not-a-folder";
  std::filesystem::create_directories(state_folder);
  std::ofstream(blocked) << "a file where the catalogue's folder would be\n";
  Catalogue catalogue(blocked, Stick);
  EXPECT_EQ(catalogue.Check("/media/stick/a", Stamp, {1}).get().outcome, Catalogue_Outcome::Not_Kept);
  const std::optional<std::string> problem = catalogue.Problem();
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find(blocked), std::string::npos) << *problem;
  EXPECT_TRUE(catalogue.Given_Up());
  auto answer = catalogue.Check("/media/stick/b", Stamp, {2});
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_EQ(answer.get().outcome, Catalogue_Outcome::Not_Kept);
}

// A file read again and again is written in the catalogue once a minute at
// most, but a new change time or inode number of it at once.
TEST_F(Catalogue_Test, FileReadAgainIsWrittenOnlyWhenThereIsNewsOfIt) {
  const auto at = [](int seconds) { return std::chrono::system_clock::time_point(std::chrono::seconds(seconds)); };
  const auto last_verified = [](Catalogue& catalogue) {
    const auto file = catalogue.Look_Up("/media/stick/f").get();
    return file ? file->last_verified : -1;
  };
  Catalogue catalogue(state_folder, Stick);
  File_Stamp stamp = Stamp;
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {1}, at(1000)).get().outcome, Catalogue_Outcome::New);
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {1}, at(1030)).get().outcome, Catalogue_Outcome::Verified);
  EXPECT_EQ(last_verified(catalogue), 1000);
  stamp.ctime_ns += 5;  // its mode changed, say
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {1}, at(1031)).get().outcome, Catalogue_Outcome::Verified);
  EXPECT_EQ(catalogue.Look_Up("/media/stick/f").get()->stamp.ctime_ns, stamp.ctime_ns);
  EXPECT_EQ(last_verified(catalogue), 1031);
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {1}, at(1091)).get().outcome, Catalogue_Outcome::Verified);
  EXPECT_EQ(last_verified(catalogue), 1091);
}

// A file read again in one session is compared with what was catalogued of
// it last, whether its row is still held in memory or has been let go for
// others' and is read from the database again.
TEST_F(Catalogue_Test, FileReadAgainIsComparedWithWhatWasCataloguedLast) {
  Catalogue catalogue(state_folder, Stick);
  File_Stamp stamp = Stamp;
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {1}).get().outcome, Catalogue_Outcome::New);
  stamp.mtime_ns += 1000;  // the user edited it
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {2}).get().outcome, Catalogue_Outcome::Recatalogued);
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {2}).get().outcome, Catalogue_Outcome::Verified);
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {3}).get().outcome, Catalogue_Outcome::Silent_Change);
  for (std::size_t i = 0; i < Recent_Rows::Files_Most; ++i) {
    catalogue.Check("/media/stick/other/" + std::to_string(i), Stamp, {7});
  }
  EXPECT_EQ(catalogue.Check("/media/stick/f", stamp, {3}).get().outcome, Catalogue_Outcome::Silent_Change);
  const auto kept = catalogue.Look_Up("/media/stick/f").get();
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->stamp.mtime_ns, stamp.mtime_ns);
  EXPECT_EQ(kept->chunk_sums, std::vector<std::uint64_t>{2});
}

TEST_F(Catalogue_Test, VolumeSeenAgainElsewhereKeepsItsCatalogue) {
  const File_Stamp stamp{3, 10, 20, 30, 40};
  Volume volume{"/media/a", "exfat", "", "/dev/sdz1", "ABCD-0001"};
  {
    Catalogue catalogue(state_folder, volume);
    EXPECT_EQ(catalogue.Check("/media/a/dir/f", stamp, {5}).get().outcome, Catalogue_Outcome::New);
  }
  volume.Mount_Point = "/run/media/user/b";
  volume.Device = "/dev/sdy1";
  File_Stamp remounted = stamp;
  remounted.inode = 99;  // exFAT makes inode numbers up at each mount
  remounted.device = 41;
  Catalogue again(state_folder, volume);
  EXPECT_EQ(again.Check("/run/media/user/b/dir/f", remounted, {6}).get().outcome, Catalogue_Outcome::Silent_Change);
  volume.Uuid = "ABCD-0002";
  Catalogue other(state_folder, volume);
  EXPECT_EQ(other.Check("/run/media/user/b/dir/f", remounted, {6}).get().outcome, Catalogue_Outcome::New);
  EXPECT_NE(other.File(), again.File());
}

// exFAT's FUSE driver numbers a file anew once the kernel has forgotten it:
// the new number is no sign that the user replaced the file.
TEST_F(Catalogue_Test, FileRenumberedByAFuseDriverIsStillComparedByContent) {
  const Volume stick{"/media/stick", "fuseblk", "STICK", "/dev/sdz1", "5678-ef01"};
  {
    Catalogue catalogue(state_folder, stick);
    EXPECT_EQ(catalogue.Check("/media/stick/f", Stamp, {1}).get().outcome, Catalogue_Outcome::New);
  }
  File_Stamp renumbered = Stamp;
  renumbered.inode += 200;
  Catalogue catalogue(state_folder, stick);
  EXPECT_EQ(catalogue.Check("/media/stick/f", renumbered, {2}).get().outcome, Catalogue_Outcome::Silent_Change);
}

TEST(Compare_With_Catalogue_Test, OnlyAWholeReadWithTheSameSizeTimeAndInodeCanShowADriveChange) {
  const Catalogued_File known{{2 * MiB, 10, 20, 30, 40}, {1, 2}, 0, 0};
  File_Stamp stamp = known.stamp;
  stamp.ctime_ns = 21;  // a new owner or mode
  EXPECT_EQ(Compare_With_Catalogue(&known, stamp, {1, 2}, true).outcome, Catalogue_Outcome::Verified);
  const auto changed = Compare_With_Catalogue(&known, stamp, {1, 3}, true);
  EXPECT_EQ(changed.outcome, Catalogue_Outcome::Silent_Change);
  EXPECT_EQ(changed.changed_at, MiB);
  EXPECT_EQ(Compare_With_Catalogue(&known, stamp, {1}, true).outcome, Catalogue_Outcome::Not_Kept);
  stamp.inode = 31;  // replaced by another file
  EXPECT_EQ(Compare_With_Catalogue(&known, stamp, {1, 3}, true).outcome, Catalogue_Outcome::Recatalogued);
  stamp.mtime_ns = 11;
  EXPECT_EQ(Compare_With_Catalogue(&known, stamp, {1, 3}, false).outcome, Catalogue_Outcome::Recatalogued);
  EXPECT_EQ(Compare_With_Catalogue(nullptr, File_Stamp{}, {}, true).outcome, Catalogue_Outcome::New);
}

}  // namespace
}  // namespace palvimo::testing
