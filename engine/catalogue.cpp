#include "engine/catalogue.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "engine/recent_rows.h"
#include "engine/record_journal.h"
#include "platform/chunk_sums.h"

namespace palvimo {

namespace {

using Clock = std::chrono::system_clock;

// How long a catalogue that is going away waits for what was asked of it.
constexpr std::chrono::seconds Closing_Wait{5};
// How long a batch of checks stays open for more before it is committed.
constexpr std::chrono::milliseconds Batch_Time{500};
// How long a writer waits for another program writing the same catalogue.
constexpr int Busy_Wait_Ms = 5000;
// How long a file found as catalogued keeps the time it was last found so
// when it is found so again. A small folder checked for hours has each of
// its files read many times a minute; a write on the home drive for each
// read would tell a scrub, which skips a day's reads, nothing more.
constexpr std::int64_t Verified_Time_Step = 60;

std::int64_t Seconds_Of(Clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

// A file's path relative to its volume's mount point, as the folder part and
// the name; nothing for a path outside the volume.
struct Relative_Path {
  std::string folder;
  std::string name;
};

std::optional<std::string> Relative_To(const std::string& mount_point, const std::string& path) {
  if (mount_point.empty() || path.empty() || path[0] != '/') return std::nullopt;
  if (mount_point == "/") return path.substr(1);
  if (path.size() <= mount_point.size() || path.compare(0, mount_point.size(), mount_point) != 0 ||
      path[mount_point.size()] != '/') {
    return path == mount_point ? std::optional<std::string>(std::string()) : std::nullopt;
  }
  return path.substr(mount_point.size() + 1);
}

std::optional<Relative_Path> Split(const std::string& mount_point, const std::string& path) {
  const auto relative = Relative_To(mount_point, path);
  if (!relative || relative->empty()) return std::nullopt;
  const auto slash = relative->rfind('/');
  if (slash == std::string::npos) return Relative_Path{{}, *relative};
  return Relative_Path{relative->substr(0, slash), relative->substr(slash + 1)};
}

std::string Full_Path(const std::string& mount_point, const Relative_Path& path) {
  std::string full = mount_point == "/" ? std::string() : mount_point;
  full += '/';
  if (!path.folder.empty()) full += path.folder + "/";
  return full + path.name;
}

std::string Sums_Blob(const std::vector<std::uint64_t>& sums) {
  std::string blob(sums.size() * 8, '\0');
  for (std::size_t i = 0; i < sums.size(); ++i) {
    for (std::size_t byte = 0; byte < 8; ++byte) {
      blob[i * 8 + byte] = static_cast<char>((sums[i] >> (8 * byte)) & 0xff);
    }
  }
  return blob;
}

std::vector<std::uint64_t> Sums_Of_Blob(const void* data, int size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(std::max(size, 0)) / 8);
  for (std::size_t i = 0; i < sums.size(); ++i) {
    for (std::size_t byte = 0; byte < 8; ++byte) sums[i] |= std::uint64_t{bytes[i * 8 + byte]} << (8 * byte);
  }
  return sums;
}

// What a read of a file leaves in the catalogue: the row it holds of the
// file afterwards, and what of it is to be written.
struct Row_Change {
  enum class Write { None, Store, Touch };
  Write write = Write::None;
  Catalogued_File row;
};

// The catalogue's row of a file after a read of it (`stamp`, `sums`, at
// `now`) that compared with `known` as `finding` says; none when the read
// was not one to keep. A changed content is stored anew, unless its change
// was silent: then the content as it was stays, to be compared with again.
std::optional<Row_Change> Change_After_Read(const Catalogued_File* known, const Catalogue_Finding& finding,
                                            const File_Stamp& stamp, const std::vector<std::uint64_t>& sums,
                                            std::int64_t now) {
  switch (finding.outcome) {
    case Catalogue_Outcome::New:
    case Catalogue_Outcome::Recatalogued:
      return Row_Change{Row_Change::Write::Store, Catalogued_File{stamp, sums, now, now}};
    case Catalogue_Outcome::Verified: {
      Row_Change change{Row_Change::Write::None, *known};
      if (known->stamp.ctime_ns != stamp.ctime_ns || known->stamp.inode != stamp.inode ||
          now - known->last_verified >= Verified_Time_Step) {
        change.write = Row_Change::Write::Touch;
        change.row.stamp.ctime_ns = stamp.ctime_ns;
        change.row.stamp.inode = stamp.inode;
        change.row.last_verified = now;
      }
      return change;
    }
    case Catalogue_Outcome::Silent_Change:
      return Row_Change{Row_Change::Write::None, *known};
    case Catalogue_Outcome::Not_Kept:
      break;
  }
  return std::nullopt;
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db));
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(statement_); }

  // Makes the statement ready for another use with these values.
  template <typename... Values>
  sqlite3_stmt* Bind(const Values&... values) {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    int index = 0;
    (Bind_One(++index, values), ...);
    return statement_;
  }

 private:
  void Bind_One(int index, const std::string& blob) {
    sqlite3_bind_blob(statement_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  }
  void Bind_One(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
  void Bind_One(int index, std::uint64_t value) {
    sqlite3_bind_int64(statement_, index, static_cast<sqlite3_int64>(value));
  }

  sqlite3_stmt* statement_ = nullptr;
};

std::string Column_Blob(sqlite3_stmt* statement, int column) {
  const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, column));
  return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

// A file's row from its size on, in the files table's order.
Catalogued_File File_At(sqlite3_stmt* row, int first) {
  Catalogued_File file;
  file.stamp.size = static_cast<std::uint64_t>(sqlite3_column_int64(row, first));
  file.stamp.mtime_ns = sqlite3_column_int64(row, first + 1);
  file.stamp.ctime_ns = sqlite3_column_int64(row, first + 2);
  file.stamp.inode = static_cast<std::uint64_t>(sqlite3_column_int64(row, first + 3));
  file.chunk_sums = Sums_Of_Blob(sqlite3_column_blob(row, first + 4), sqlite3_column_bytes(row, first + 4));
  file.first_verified = sqlite3_column_int64(row, first + 5);
  file.last_verified = sqlite3_column_int64(row, first + 6);
  return file;
}

// The open database of one volume, used only on the catalogue's thread.
class Store {
 public:
  Store(const std::string& file, const std::string& identity) : db_(Open(file)) {
    Execute("PRAGMA journal_mode=WAL");
    // In WAL mode a commit that is not synced is lost only with the
    // machine's power, never with the program, and costs no flush.
    Execute("PRAGMA synchronous=NORMAL");
    Execute("CREATE TABLE IF NOT EXISTS volume(identity TEXT NOT NULL)");
    Execute(
        "CREATE TABLE IF NOT EXISTS files(folder BLOB NOT NULL, name BLOB NOT NULL, size INTEGER NOT NULL,"
        " mtime_ns INTEGER NOT NULL, ctime_ns INTEGER NOT NULL, inode INTEGER NOT NULL, sums BLOB NOT NULL,"
        " first_verified INTEGER NOT NULL, last_verified INTEGER NOT NULL,"
        " PRIMARY KEY(folder, name)) WITHOUT ROWID");
    Check_Identity(identity);
    select_ = std::make_unique<Statement>(
        db_, "SELECT size, mtime_ns, ctime_ns, inode, sums, first_verified, last_verified FROM files"
             " WHERE folder = ? AND name = ?");
    store_ = std::make_unique<Statement>(
        db_, "INSERT OR REPLACE INTO files VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
    touch_ = std::make_unique<Statement>(
        db_, "UPDATE files SET ctime_ns = ?, inode = ?, last_verified = ? WHERE folder = ? AND name = ?");
    recent_ = std::make_unique<Statement>(db_, "SELECT name FROM files WHERE folder = ? AND last_verified >= ?");
    under_ = std::make_unique<Statement>(
        db_, "SELECT folder, name, size, mtime_ns, ctime_ns, inode, sums, first_verified, last_verified FROM files"
             " WHERE folder = ? OR (folder >= ? AND folder < ?) LIMIT ?");
    begin_ = std::make_unique<Statement>(db_, "BEGIN IMMEDIATE");
    commit_ = std::make_unique<Statement>(db_, "COMMIT");
  }
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  ~Store() {
    select_.reset();
    store_.reset();
    touch_.reset();
    recent_.reset();
    under_.reset();
    begin_.reset();
    commit_.reset();
    sqlite3_close(db_);
  }

  void Begin() { Step(begin_->Bind()); }
  void Commit() { Step(commit_->Bind()); }

  std::optional<Catalogued_File> Select(const Relative_Path& path) {
    sqlite3_stmt* row = select_->Bind(path.folder, path.name);
    const int result = sqlite3_step(row);
    if (result == SQLITE_DONE) return std::nullopt;
    if (result != SQLITE_ROW) throw std::runtime_error(sqlite3_errmsg(db_));
    Catalogued_File file = File_At(row, 0);
    sqlite3_reset(row);
    return file;
  }

  // The rows of the files in `folder` and the folders under it, `most` at
  // most; the volume's root folder is the empty one.
  std::vector<std::pair<Relative_Path, Catalogued_File>> Rows_Under(const std::string& folder, std::size_t most) {
    // Folders under it sort from its name and a slash to its name and the
    // byte after the slash.
    const std::string below = folder.empty() ? std::string() : folder + "/";
    const std::string beyond = folder.empty() ? std::string(1, '\xff') : folder + "0";
    sqlite3_stmt* rows = under_->Bind(folder, below, beyond, static_cast<std::int64_t>(most));
    std::vector<std::pair<Relative_Path, Catalogued_File>> found;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(rows)) == SQLITE_ROW) {
      found.emplace_back(Relative_Path{Column_Blob(rows, 0), Column_Blob(rows, 1)}, File_At(rows, 2));
    }
    if (result != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    return found;
  }

  void Write(const Relative_Path& path, const Row_Change& change) {
    const Catalogued_File& row = change.row;
    switch (change.write) {
      case Row_Change::Write::Store:
        Step(store_->Bind(path.folder, path.name, row.stamp.size, row.stamp.mtime_ns, row.stamp.ctime_ns,
                          row.stamp.inode, Sums_Blob(row.chunk_sums), row.first_verified, row.last_verified));
        break;
      case Row_Change::Write::Touch:
        Step(touch_->Bind(row.stamp.ctime_ns, row.stamp.inode, row.last_verified, path.folder, path.name));
        break;
      case Row_Change::Write::None:
        break;
    }
  }

  std::vector<std::string> Recent(const std::string& folder, std::int64_t since) {
    sqlite3_stmt* rows = recent_->Bind(folder, since);
    std::vector<std::string> names;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(rows)) == SQLITE_ROW) names.push_back(Column_Blob(rows, 0));
    if (result != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    return names;
  }

 private:
  static sqlite3* Open(const std::string& file) {
    sqlite3* db = nullptr;
    const int result = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result != SQLITE_OK) {
      const std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(result);
      sqlite3_close(db);
      throw std::runtime_error(why);
    }
    sqlite3_busy_timeout(db, Busy_Wait_Ms);
    return db;
  }

  void Execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw std::runtime_error(why);
    }
  }

  // Two volumes whose identities give the same file name must not share it.
  void Check_Identity(const std::string& identity) {
    Statement find(db_, "SELECT identity FROM volume");
    sqlite3_stmt* row = find.Bind();
    if (sqlite3_step(row) == SQLITE_ROW) {
      if (Column_Blob(row, 0) != identity) throw std::runtime_error("it belongs to another volume");
      return;
    }
    Statement add(db_, "INSERT INTO volume VALUES(?)");
    sqlite3_stmt* insert = add.Bind(identity);
    if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
  }

  void Step(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) {
      const std::string why = sqlite3_errmsg(db_);
      sqlite3_reset(statement);
      throw std::runtime_error(why);
    }
    sqlite3_reset(statement);
  }

  sqlite3* db_;
  std::unique_ptr<Statement> select_, store_, touch_, recent_, under_, begin_, commit_;
};

}  // namespace

Catalogue_Finding Compare_With_Catalogue(const Catalogued_File* known, const File_Stamp& stamp,
                                         const std::vector<std::uint64_t>& sums, bool inodes_stable) {
  const std::uint64_t chunks = (stamp.size + Chunk_Sums::Chunk_Size - 1) / Chunk_Sums::Chunk_Size;
  if (sums.size() != chunks) return {Catalogue_Outcome::Not_Kept};
  if (!known) return {Catalogue_Outcome::New};
  if (known->stamp.size != stamp.size || known->stamp.mtime_ns != stamp.mtime_ns ||
      (inodes_stable && known->stamp.inode != stamp.inode) || known->chunk_sums.size() != sums.size()) {
    return {Catalogue_Outcome::Recatalogued};
  }
  const auto differs = std::mismatch(sums.begin(), sums.end(), known->chunk_sums.begin());
  if (differs.first == sums.end()) return {Catalogue_Outcome::Verified};
  return {Catalogue_Outcome::Silent_Change,
          static_cast<std::uint64_t>(differs.first - sums.begin()) * std::uint64_t{Chunk_Sums::Chunk_Size}};
}

std::string Silent_Change_Reason(std::uint64_t offset) {
  return "its content changed while its size and times did not (in the MiB at byte " + std::to_string(offset) +
         "): the drive altered it";
}

bool Inodes_Stable(const std::string& type) {
  // A FUSE driver may number a file anew whenever the kernel has forgotten
  // it, as exFAT's does, and the table does not say which driver serves a
  // "fuseblk" mount.
  if (type == "fuse" || type == "fuseblk" || type.starts_with("fuse.")) return false;
  return type != "vfat" && type != "msdos" && type != "exfat" && type != "fat" && type != "umsdos";
}

std::string Catalogue_File_Name(const std::string& identity) {
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.sqlite",
                static_cast<unsigned long long>(Sum_Of_Text(identity)));
  return name;
}

std::string Default_Catalogue_Folder() {
  const std::string state = Default_State_Folder();
  return state.empty() ? state : state + "/catalogue";
}

struct Catalogue::Shared {
  // What a job has to say, said once its batch is committed, or given up.
  using Answers = std::vector<std::function<void()>>;
  // Runs with the store, none when the catalogue is not kept, and adds the
  // answer to give.
  using Job = std::function<void(Store*, Answers&)>;

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> jobs;
  bool closing = false;
  bool done = false;
  // Set on the thread once the volume is known; read under `mutex`.
  std::string file;
  std::optional<std::string> problem;
  // Set with `problem`: from then on there is no store.
  std::atomic<bool> given_up = false;
  // The volume's, for the paths of its files; set before any row is held.
  std::string mount_point;
  bool inodes_stable = true;
  // Under `mutex`: rows as the database holds them once the jobs posted so
  // far are done.
  Recent_Rows held;

  void Post(Job job) {
    {
      const std::lock_guard lock(mutex);
      jobs.push_back(std::move(job));
    }
    changed.notify_all();
  }

  // Holds the rows of the files under the folder at the full path `root`
  // when they are few enough to be held all.
  void Hold_Rows_Under(Store& store, const std::string& root) {
    const auto folder = Relative_To(mount_point, root);
    if (!folder) return;
    auto rows = store.Rows_Under(*folder, Recent_Rows::Files_Most + 1);
    if (rows.size() > Recent_Rows::Files_Most) return;
    const std::lock_guard lock(mutex);
    for (auto& [path, row] : rows) held.Keep(Full_Path(mount_point, path), std::move(row));
  }

  void Set_Problem(const std::string& why) {
    const std::lock_guard lock(mutex);
    if (!problem) problem = why;
    given_up = true;
  }

  std::unique_ptr<Store> Open(const std::string& folder, const Volume& volume) {
    mount_point = volume.Mount_Point;
    inodes_stable = Inodes_Stable(volume.Type);
    if (folder.empty()) {
      Set_Problem("there is no folder for the program's state (neither XDG_STATE_HOME nor HOME is set)");
      return nullptr;
    }
    const std::string path = folder + "/" + Catalogue_File_Name(Volume_Identity(volume));
    {
      const std::lock_guard lock(mutex);
      file = path;
    }
    try {
      std::error_code error;
      std::filesystem::create_directories(folder, error);
      if (error) throw std::runtime_error("cannot make " + folder + " (" + error.message() + ")");
      // The names of the user's files are the user's own business.
      std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace,
                                   error);
      return std::make_unique<Store>(path, Volume_Identity(volume));
    } catch (const std::exception& error) {
      Set_Problem(path + ": " + error.what());
      return nullptr;
    }
  }

  // The catalogue's thread: runs the jobs as they come, in batches of one
  // transaction each, until closing. A probe's check is answered before any
  // commit, and a commit per probe would cost about as much as the check, so
  // a batch stays open for more, up to Batch_Largest jobs or Batch_Time; it
  // is committed at once for a job whose answer waits for it (a lookup,
  // Flush) and when closing. A batch cut short by a crash loses only rows
  // that the next read of their files writes again.
  void Serve(std::unique_ptr<Store> store) {
    using Steady = std::chrono::steady_clock;
    std::unique_lock lock(mutex);
    Answers answers;
    std::size_t in_batch = 0;
    Steady::time_point deadline{};
    for (;;) {
      const auto ready = [&] { return closing || !jobs.empty(); };
      if (in_batch == 0) {
        changed.wait(lock, ready);
      } else if (!changed.wait_until(lock, deadline, ready)) {
        lock.unlock();
        Commit(store, answers);
        in_batch = 0;
        lock.lock();
        continue;
      }
      if (jobs.empty() && in_batch == 0) break;
      std::vector<Job> taken;
      while (!jobs.empty() && in_batch + taken.size() < Batch_Largest) {
        taken.push_back(std::move(jobs.front()));
        jobs.pop_front();
      }
      const bool ending = closing && jobs.empty();
      lock.unlock();
      if (in_batch == 0 && !taken.empty()) {
        Begin(store);
        deadline = Steady::now() + Batch_Time;
      }
      Run_Jobs(store, taken, answers);
      in_batch += taken.size();
      if (in_batch > 0 && (!answers.empty() || in_batch >= Batch_Largest || ending || Steady::now() >= deadline)) {
        Commit(store, answers);
        in_batch = 0;
      }
      lock.lock();
    }
    // Closed before the catalogue is let go, since the program may end as
    // soon as it is: the database closed takes its log back into itself and
    // is left one file, not a log that the next opening must read through.
    lock.unlock();
    store.reset();
    lock.lock();
    done = true;
    changed.notify_all();
  }

  // A database that fails midway is given up: its jobs run with no store,
  // answering nothing, and the check goes on without it.
  void Begin(std::unique_ptr<Store>& store) {
    try {
      if (store) store->Begin();
    } catch (const std::exception& error) {
      Give_Up(store, error);
    }
  }

  void Run_Jobs(std::unique_ptr<Store>& store, std::vector<Job>& batch, Answers& answers) {
    for (Job& job : batch) {
      const std::size_t before = answers.size();
      try {
        job(store.get(), answers);
      } catch (const std::exception& error) {
        Give_Up(store, error);
        answers.resize(before);
        job(nullptr, answers);
      }
    }
  }

  // Ends the batch and gives the answers that waited for it.
  void Commit(std::unique_ptr<Store>& store, Answers& answers) {
    try {
      if (store) store->Commit();
    } catch (const std::exception& error) {
      Give_Up(store, error);
    }
    for (const auto& answer : answers) answer();
    answers.clear();
  }

  void Give_Up(std::unique_ptr<Store>& store, const std::exception& error) {
    Set_Problem(file + ": " + error.what());
    store.reset();
  }
};

void Catalogue::Start(std::string folder, std::function<Volume()> find) {
  std::thread([shared = shared_, folder = std::move(folder), find = std::move(find)] {
    shared->Serve(shared->Open(folder, find()));
  }).detach();
}

Catalogue::Catalogue(std::string folder, std::string root) : shared_(std::make_shared<Shared>()) {
  Start(std::move(folder), [root] {
#ifdef __linux__
    return Volume_Holding(root);
#else
    return Volume{};
#endif
  });
  // The first job: a folder of few files, checked for hours, then has each
  // read compared at once, never waiting on the database.
  shared_->Post([shared = shared_.get(), root = std::move(root)](Store* store, Shared::Answers&) {
    if (store) shared->Hold_Rows_Under(*store, root);
  });
}

Catalogue::Catalogue(std::string folder, Volume volume) : shared_(std::make_shared<Shared>()) {
  Start(std::move(folder), [volume = std::move(volume)] { return volume; });
}

Catalogue::~Catalogue() {
  std::unique_lock lock(shared_->mutex);
  shared_->closing = true;
  shared_->changed.notify_all();
  shared_->changed.wait_for(lock, Closing_Wait, [&] { return shared_->done; });
}

std::future<Catalogue_Finding> Catalogue::Check(std::string path, File_Stamp stamp, std::vector<std::uint64_t> sums,
                                                Clock::time_point when) {
  auto promise = std::make_shared<std::promise<Catalogue_Finding>>();
  auto future = promise->get_future();
  if (Given_Up()) {
    promise->set_value(Catalogue_Finding{});
    return future;
  }
  // A file checked lately is compared here, with the row kept of it: the
  // thread is woken only for what is to be written. The jobs run in the
  // order posted, so what they write follows the rows kept.
  std::unique_lock lock(shared_->mutex);
  if (const Catalogued_File* known = shared_->held.Find(path)) {
    const Catalogue_Finding finding = Compare_With_Catalogue(known, stamp, sums, shared_->inodes_stable);
    const auto change = Change_After_Read(known, finding, stamp, sums, Seconds_Of(when));
    if (change && change->write != Row_Change::Write::None) {
      shared_->held.Keep(path, change->row);
      lock.unlock();
      shared_->Post([shared = shared_.get(), path = std::move(path), change = *change](Store* store, Shared::Answers&) {
        const auto relative = Split(shared->mount_point, path);
        if (store && relative) store->Write(*relative, change);
      });
    }
    promise->set_value(finding);
    return future;
  }
  lock.unlock();
  shared_->Post([shared = shared_.get(), promise, path = std::move(path), stamp, sums = std::move(sums),
                 when](Store* store, Shared::Answers&) {
    Catalogue_Finding finding;
    const auto relative = Split(shared->mount_point, path);
    if (store && relative) {
      const auto known = store->Select(*relative);
      finding = Compare_With_Catalogue(known ? &*known : nullptr, stamp, sums, shared->inodes_stable);
      if (auto change = Change_After_Read(known ? &*known : nullptr, finding, stamp, sums, Seconds_Of(when))) {
        store->Write(*relative, *change);
        const std::lock_guard kept(shared->mutex);
        shared->held.Keep(path, std::move(change->row));
      }
    }
    // Said at once, not after the batch's commit: the probe waits for it,
    // and a row lost with a batch that never commits is only read again.
    promise->set_value(finding);
  });
  return future;
}

std::future<std::optional<Catalogued_File>> Catalogue::Look_Up(std::string path) {
  auto promise = std::make_shared<std::promise<std::optional<Catalogued_File>>>();
  auto future = promise->get_future();
  shared_->Post([shared = shared_.get(), promise, path = std::move(path)](Store* store, Shared::Answers& answers) {
    const auto relative = Split(shared->mount_point, path);
    auto file = store && relative ? store->Select(*relative) : std::nullopt;
    answers.push_back([promise, file = std::move(file)] { promise->set_value(file); });
  });
  return future;
}

std::future<std::vector<std::string>> Catalogue::Verified_Since(std::string folder, Clock::time_point since) {
  auto promise = std::make_shared<std::promise<std::vector<std::string>>>();
  auto future = promise->get_future();
  shared_->Post([shared = shared_.get(), promise, folder = std::move(folder), since](Store* store, Shared::Answers& answers) {
    std::vector<std::string> names;
    const auto relative = Relative_To(shared->mount_point, folder);
    if (store && relative) names = store->Recent(*relative, Seconds_Of(since));
    answers.push_back([promise, names = std::move(names)] { promise->set_value(names); });
  });
  return future;
}

void Catalogue::Flush() {
  auto promise = std::make_shared<std::promise<void>>();
  auto future = promise->get_future();
  shared_->Post([promise](Store*, Shared::Answers& answers) { answers.push_back([promise] { promise->set_value(); }); });
  future.wait();
}

std::string Catalogue::File() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->file;
}

bool Catalogue::Given_Up() const { return shared_->given_up; }

std::optional<std::string> Catalogue::Problem() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->problem;
}

}  // namespace palvimo
