#include "process_counters.h"

#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

namespace palvimo::bench {

namespace {

// The "name: value" lines of a /proc file of this process.
class Proc_Fields {
 public:
  explicit Proc_Fields(std::string path) : path_(std::move(path)) {
    std::ifstream file(path_);
    if (!file) throw std::runtime_error("cannot read " + path_);
    std::string name;
    std::string value;
    while (std::getline(file, name, ':') && std::getline(file, value)) fields_[name] = value;
  }

  // The number a field starts with (a unit after it, such as kB, is left out).
  std::uint64_t Number(const std::string& name) const {
    const auto found = fields_.find(name);
    if (found == fields_.end()) throw std::runtime_error(path_ + " has no " + name);
    return std::stoull(found->second);
  }

 private:
  std::string path_;
  std::map<std::string, std::string> fields_;
};

}  // namespace

Io_Counters Read_Io_Counters() {
  const Proc_Fields io("/proc/self/io");
  return {io.Number("read_bytes"), io.Number("write_bytes"), io.Number("cancelled_write_bytes")};
}

double Peak_Resident_Mib() {
  constexpr double kib_per_mib = 1024.0;
  return static_cast<double>(Proc_Fields("/proc/self/status").Number("VmHWM")) / kib_per_mib;
}

}  // namespace palvimo::bench
