#include <dirent.h>
#include <fcntl.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>

#include "platform/mount_point.h"
#include "platform/unique_fd.h"
#include "platform/volume_source.h"

namespace palvimo {
namespace {

constexpr char Mount_Info[] = "/proc/self/mountinfo";
constexpr char Labels_Folder[] = "/dev/disk/by-label";
constexpr char Uuids_Folder[] = "/dev/disk/by-uuid";

// Whether the `count` characters from `start` are all `digits`.
bool Digits_At(const std::string& text, std::size_t start, std::size_t count, std::string_view digits) {
  if (start + count > text.size()) return false;
  return text.substr(start, count).find_first_not_of(digits) == std::string::npos;
}

// Replaces each escape, `lead` followed by `count` digits in `base`, by the
// character it stands for. The mount table writes a space, tab, newline or
// backslash in a path as a backslash and three octal digits; udev writes the
// unsafe characters of a label as "\x" and two hex digits.
std::string Unescape(const std::string& text, std::string_view lead, std::size_t count, int base) {
  const std::string_view digits = base == 8 ? "01234567" : "0123456789abcdefABCDEF";
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, lead.size(), lead) == 0 && Digits_At(text, i + lead.size(), count, digits)) {
      plain += static_cast<char>(std::stoi(text.substr(i + lead.size(), count), nullptr, base));
      i += lead.size() + count - 1;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

std::string Unescape_Octal(const std::string& field) { return Unescape(field, "\\", 3, 8); }
std::string Unescape_Hex(const std::string& name) { return Unescape(name, "\\x", 2, 16); }

std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// Each device named in one of udev's folders of links (by label, by UUID),
// by its resolved path, with the name it has there.
std::map<std::string, std::string> Names_By_Device(const char* links_folder) {
  std::map<std::string, std::string> names;
  DIR* folder = opendir(links_folder);
  if (!folder) return names;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    names[Resolved(std::string(links_folder) + "/" + name)] = Unescape_Hex(name);
  }
  closedir(folder);
  return names;
}

std::string Name_Of(const std::map<std::string, std::string>& names, const std::string& source) {
  if (!source.starts_with('/')) return {};
  const auto found = names.find(Resolved(source));
  return found == names.end() ? std::string() : found->second;
}

class Mount_Info_Volumes final : public Volume_Source {
 public:
  Mount_Info_Volumes() : changes_(open(Mount_Info, O_RDONLY | O_CLOEXEC)) {}

  // A line: ID PARENT MAJOR:MINOR ROOT MOUNT_POINT OPTIONS [TAGS...] - TYPE SOURCE SUPER_OPTIONS
  std::vector<Volume> Volumes() override {
    std::vector<Volume> volumes;
    std::ifstream table(Mount_Info);
    const auto labels = Names_By_Device(Labels_Folder);
    const auto uuids = Names_By_Device(Uuids_Folder);
    for (std::string line; std::getline(table, line);) {
      std::istringstream fields(line);
      std::string id, parent, device, root, mount_point, options, field;
      if (!(fields >> id >> parent >> device >> root >> mount_point >> options)) continue;
      while (fields >> field && field != "-") {
      }
      std::string type, source;
      if (!(fields >> type >> source)) continue;
      const std::string mounted = Unescape_Octal(source);
      volumes.push_back(
          {Unescape_Octal(mount_point), type, Name_Of(labels, mounted), mounted, Name_Of(uuids, mounted)});
    }
    return volumes;
  }

  int Change_Fd() const override { return changes_.Get(); }

 private:
  Unique_Fd changes_;
};

}  // namespace

std::unique_ptr<Volume_Source> Make_Mount_Info_Volumes() { return std::make_unique<Mount_Info_Volumes>(); }

Volume Volume_Holding(const std::string& path) {
  Volume holding{Mount_Point_Of(path), {}, {}};
  // The last mount on a folder is the one seen there.
  for (Volume& volume : Mount_Info_Volumes().Volumes()) {
    if (volume.Mount_Point == holding.Mount_Point) holding = std::move(volume);
  }
  return holding;
}

}  // namespace palvimo
