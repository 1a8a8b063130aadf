#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_stamp.h"
#include "platform/volume_source.h"

namespace palvimo {

// What the catalogue holds of one file: its stamp when it was read (the
// device aside, which changes from one plugging to the next), the XXH3 sum
// of each MiB of its content, and when it was first and last read whole
// and found as catalogued, in seconds since the epoch.
struct Catalogued_File {
  File_Stamp stamp;
  std::vector<std::uint64_t> chunk_sums;
  std::int64_t first_verified = 0;
  std::int64_t last_verified = 0;
};

enum class Catalogue_Outcome {
  Not_Kept,       // nothing to compare: no catalogue, or not a whole, steady read
  New,            // catalogued now
  Verified,       // the same content as catalogued
  Recatalogued,   // changed by someone, as its size or modification time say
  Silent_Change,  // changed while its size, modification time and inode did not
};

struct Catalogue_Finding {
  Catalogue_Outcome outcome = Catalogue_Outcome::Not_Kept;
  // With Silent_Change: where the first MiB that differs begins.
  std::uint64_t changed_at = 0;
};

// What a read of a file whose stamp is `stamp` and whose MiB sums are `sums`
// says against what the catalogue holds of it (`known`, none when it holds
// nothing). The content counts as the user's to change when its size or
// modification time changed, or its inode on a file system whose inodes
// last (`inodes_stable`); the change time is kept but not compared, since
// changing a file's owner, mode or links changes it too.
Catalogue_Finding Compare_With_Catalogue(const Catalogued_File* known, const File_Stamp& stamp,
                                         const std::vector<std::uint64_t>& sums, bool inodes_stable);

// The failure's reason for a silent change found in the MiB at `offset`.
std::string Silent_Change_Reason(std::uint64_t offset);

// Whether files of the file system type `type` keep their inode numbers
// from one mount to the next; FAT's and exFAT's are made up at each mount,
// and a FUSE driver's may change even while it is mounted.
bool Inodes_Stable(const std::string& type);

// The name of the catalogue file of the volume whose identity is `identity`
// (Volume_Identity): safe in any folder, the same for the same volume.
std::string Catalogue_File_Name(const std::string& identity);

// Where catalogues are kept: the state folder's "catalogue"; empty when
// there is no state folder.
std::string Default_Catalogue_Folder();

// The catalogue of one volume: what each of its files held when it was last
// read whole, kept in a database of its own in `folder` on this machine,
// never on the volume. The database is used on a thread of the catalogue's,
// with one connection, a transaction per batch of what was asked meanwhile;
// callers are given futures. Some rows are held in memory as well
// (Recent_Rows): a check of one of their files is answered at once, and only
// what is to be written goes to the thread. A catalogue that cannot be kept
// (no state folder, a full or read-only home) answers Not_Kept and nothing,
// and says why in Problem(); it never stops a check.
class Catalogue {
 public:
  // A batch is committed once this many requests are done, half a second
  // after it began, or at once for a request that waits for its commit.
  static constexpr std::size_t Batch_Largest = 512;

  // The catalogue of the volume that holds the folder at the full path
  // `root`; the volume is looked for on the catalogue's thread, since it is
  // found by looking at the drive. The rows of the files under `root` are
  // read first, and held when they are few enough to be held all.
  Catalogue(std::string folder, std::string root);
  // The catalogue of `volume`.
  Catalogue(std::string folder, Volume volume);
  // Waits a while for what was asked to be committed and the database
  // closed, then lets it go.
  ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  // Compares a whole read of the file at the full path `path` with what is
  // catalogued, and catalogues it unless its content changed silently: then
  // the content as it was stays, to be compared with again. A file is
  // checked again only once the answer for it has come.
  std::future<Catalogue_Finding> Check(std::string path, File_Stamp stamp, std::vector<std::uint64_t> sums,
                                       std::chrono::system_clock::time_point when = std::chrono::system_clock::now());
  // What is catalogued of the file at the full path `path`.
  std::future<std::optional<Catalogued_File>> Look_Up(std::string path);
  // The names of the files of the folder at the full path `folder` that were
  // verified or catalogued at `since` or after.
  std::future<std::vector<std::string>> Verified_Since(std::string folder, std::chrono::system_clock::time_point since);
  // Returns once everything asked before is done and committed.
  void Flush();

  // The database's file, once the volume is known.
  std::string File() const;
  // Why the catalogue is not kept, once known.
  std::optional<std::string> Problem() const;
  // The catalogue is known not to be kept: every check answers Not_Kept at
  // once, without a trip to its thread.
  bool Given_Up() const;

 private:
  struct Shared;
  void Start(std::string folder, std::function<Volume()> find);

  std::shared_ptr<Shared> shared_;
};

}  // namespace palvimo
