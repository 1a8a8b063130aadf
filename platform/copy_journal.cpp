#include "platform/copy_journal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/check_error.h"

namespace palvimo {

namespace {

constexpr char Entry_Ending[] = ".copy";

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Names and paths may hold any byte but NUL: one line each, escaped.
std::string Escaped(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string Unescaped(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      plain += text[++i] == 'n' ? '\n' : text[i];
    } else {
      plain += text[i];
    }
  }
  return plain;
}

template <typename Number>
Number Parsed(const std::string& text, int base = 10) {
  Number value{};
  std::from_chars(text.data(), text.data() + text.size(), value, base);
  return value;
}

std::string Text_Of(const Copy_Entry& entry) {
  std::ostringstream text;
  text << "volume=" << Escaped(entry.volume) << '\n'
       << "path=" << Escaped(entry.path) << '\n'
       << "making=" << Escaped(entry.making) << '\n'
       << "removing=" << Escaped(entry.removing) << '\n'
       << "instance=" << Escaped(entry.instance) << '\n'
       << "token=" << Hex(entry.token) << '\n'
       << "size=" << entry.size << '\n'
       << "time_token=" << entry.time_token << '\n'
       << "created=" << entry.created << '\n'
       << "inode=" << entry.inode << '\n';
  return text.str();
}

Copy_Entry Entry_Of(const std::string& text) {
  Copy_Entry entry;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "volume") entry.volume = Unescaped(value);
    if (key == "path") entry.path = Unescaped(value);
    if (key == "making") entry.making = Unescaped(value);
    if (key == "removing") entry.removing = Unescaped(value);
    if (key == "instance") entry.instance = Unescaped(value);
    if (key == "token") entry.token = Parsed<std::uint64_t>(value, 16);
    if (key == "size") entry.size = Parsed<std::uint64_t>(value);
    if (key == "time_token") entry.time_token = Parsed<std::int64_t>(value);
    if (key == "created") entry.created = Parsed<std::int64_t>(value);
    if (key == "inode") entry.inode = Parsed<std::uint64_t>(value);
  }
  return entry;
}

// An instance's name is only ever ours: digits, letters a-f and dashes, so
// that one read from a journal names a file of instances/ and nothing else.
bool Is_Instance_Name(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (const char c : name) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-')) return false;
  }
  return true;
}

struct flock Whole_File(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

void Make_Folder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) throw Check_Error(path, "cannot keep the journal of copies (" + error.message() + ")");
  chmod(path.c_str(), S_IRWXU);
}

void Write_Lasting(const std::string& folder, const std::string& name, const std::string& text) {
  const std::string temporary = folder + "/." + name + ".tmp";
  const std::string final_path = folder + "/" + name;
  const auto fail = [&](const std::string& path) {
    const int error = errno;
    unlink(temporary.c_str());
    return Error_From_Errno(path, "cannot keep the journal of copies", error);
  };
  {
    Unique_Fd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR));
    if (!fd.Valid()) throw fail(temporary);
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t written = Retry_Interrupted([&] { return write(fd.Get(), text.data() + done, text.size() - done); });
      if (written <= 0) throw fail(temporary);
      done += static_cast<std::size_t>(written);
    }
    if (fsync(fd.Get()) != 0 || fd.Close() != 0) throw fail(temporary);
  }
  if (rename(temporary.c_str(), final_path.c_str()) != 0) throw fail(final_path);
  // The rename lasts only once the folder that holds the name is flushed.
  const Unique_Fd holder(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!holder.Valid() || fsync(holder.Get()) != 0) throw fail(folder);
}

}  // namespace

Copy_Journal::Copy_Journal(std::string state_folder) : folder_(std::move(state_folder)) {}

Copy_Journal::~Copy_Journal() {
  // Nothing of this instance is running once its file is gone.
  if (instance_lock_.Valid()) unlink(instance_file_.c_str());
}

std::string Copy_Journal::Copies_Folder() const { return folder_ + "/copies"; }

std::string Copy_Journal::Instance() {
  const std::lock_guard lock(mutex_);
  if (instance_lock_.Valid()) return instance_;
  if (folder_.empty()) throw Check_Error("", "cannot keep the journal of copies (no state folder: HOME is not set)");
  const std::string instances = folder_ + "/instances";
  Make_Folder(instances);
  std::random_device random;
  const std::uint64_t salt = (std::uint64_t{random()} << 32) ^ random();
  const std::string name = std::to_string(getpid()) + "-" + Hex(salt);
  const std::string path = instances + "/" + name + ".lock";
  Unique_Fd fd(open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR));
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot keep the journal of copies", errno);
#ifdef F_OFD_SETLK
  struct flock held = Whole_File(F_WRLCK);
  if (fcntl(fd.Get(), F_OFD_SETLK, &held) != 0) {
    const int error = errno;
    unlink(path.c_str());
    throw Error_From_Errno(path, "cannot keep the journal of copies", error);
  }
#endif
  instance_ = name;
  instance_file_ = path;
  instance_lock_ = std::move(fd);
  return instance_;
}

void Copy_Journal::Add(const Copy_Entry& entry) {
  Instance();
  Make_Folder(Copies_Folder());
  Write_Lasting(Copies_Folder(), Hex(entry.token) + Entry_Ending, Text_Of(entry));
}

void Copy_Journal::Remove(std::uint64_t token) {
  if (folder_.empty()) return;
  unlink((Copies_Folder() + "/" + Hex(token) + Entry_Ending).c_str());
}

std::vector<Copy_Entry> Copy_Journal::Entries_Of(const std::string& volume) const {
  std::vector<Copy_Entry> entries;
  if (folder_.empty()) return entries;
  std::error_code error;
  for (const auto& file : std::filesystem::directory_iterator(Copies_Folder(), error)) {
    const std::string name = file.path().filename().string();
    if (name.starts_with(".") || !name.ends_with(Entry_Ending)) continue;
    const Unique_Fd fd(open(file.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.Valid()) continue;
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while (text.size() < 65536 && (got = Retry_Interrupted([&] { return read(fd.Get(), buffer, sizeof buffer); })) > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    }
    Copy_Entry entry = Entry_Of(text);
    // An entry is named after its token; one that is not is no entry of ours.
    if (Hex(entry.token) + Entry_Ending != name) continue;
    if (entry.volume == volume) entries.push_back(std::move(entry));
  }
  return entries;
}

bool Copy_Journal::Is_Alive(const std::string& instance) const {
  if (instance == instance_) return true;
  if (!Is_Instance_Name(instance) || folder_.empty()) return true;
  const std::string path = folder_ + "/instances/" + instance + ".lock";
  const Unique_Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.Valid()) return errno != ENOENT;
#ifdef F_OFD_GETLK
  struct flock held = Whole_File(F_WRLCK);
  if (fcntl(fd.Get(), F_OFD_GETLK, &held) == 0) return held.l_type != F_UNLCK;
#endif
  // Where the lock cannot be read, the process it names tells, on the side
  // of caution: a process of that number, whichever it is, keeps the copy.
  const auto pid = Parsed<pid_t>(instance.substr(0, instance.find('-')));
  return pid <= 0 || kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace palvimo
