#include "platform/drive_health.h"

#include <nlohmann/json.hpp>

#ifdef __linux__
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/unique_fd.h"
#endif

namespace palvimo {

namespace {

using nlohmann::json;

// The value at `path` if it is a number of the type asked; null otherwise,
// for a key that is missing or holds anything else.
template <typename Number>
std::optional<Number> Number_At(const json& document, const json::json_pointer& path) {
  if (!document.contains(path)) return std::nullopt;
  const json& value = document.at(path);
  if (!value.is_number_integer()) return std::nullopt;
  if (std::is_unsigned_v<Number> && !value.is_number_unsigned() && value.get<std::int64_t>() < 0) return std::nullopt;
  return value.get<Number>();
}

std::optional<std::uint64_t> Attribute_Raw(const json& document, int id) {
  const json::json_pointer table("/ata_smart_attributes/table");
  if (!document.contains(table) || !document.at(table).is_array()) return std::nullopt;
  for (const json& attribute : document.at(table)) {
    if (attribute.is_object() && attribute.value("id", -1) == id) {
      return Number_At<std::uint64_t>(attribute, json::json_pointer("/raw/value"));
    }
  }
  return std::nullopt;
}

std::string Messages_Of(const json& document) {
  std::string messages;
  const json::json_pointer path("/smartctl/messages");
  if (!document.contains(path) || !document.at(path).is_array()) return messages;
  for (const json& message : document.at(path)) {
    if (message.is_object() && message.contains("string") && message["string"].is_string()) {
      if (!messages.empty()) messages += "; ";
      messages += message["string"].get<std::string>();
    }
  }
  return messages;
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Why smartctl gave no SMART data, from what it said.
std::string Reason_Without_Smart(const json& document) {
  const std::string messages = Messages_Of(document);
  if (Has(messages, "Permission denied") || Has(messages, "Operation not permitted")) {
    return "permission denied; smartctl needs root";
  }
  if (Has(messages, "USB bridge")) return "the USB bridge does not pass it";
  const json::json_pointer support("/smart_support/available");
  if (document.contains(support) && document.at(support) == false) return "the drive has no SMART";
  if (Has(messages, "Unable to detect device type")) return "smartctl does not know this kind of drive";
  if (!messages.empty()) return "smartctl says: " + messages;
  return "smartctl gave no SMART data";
}

std::optional<std::int64_t> Growth(const std::optional<std::uint64_t>& start,
                                   const std::optional<std::uint64_t>& end) {
  if (!start || !end) return std::nullopt;
  return static_cast<std::int64_t>(*end) - static_cast<std::int64_t>(*start);
}

}  // namespace

bool Health_Change::Worse() const {
  const auto grew = [](const std::optional<std::int64_t>& change) { return change && *change > 0; };
  return began_failing || grew(reallocated_sectors) || grew(pending_sectors) || grew(uncorrectable_sectors) ||
         grew(media_errors);
}

Drive_Health Parse_Smartctl_Json(const std::string& text) {
  Drive_Health health;
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) {
    health.reason = "smartctl's output is not JSON";
    return health;
  }
  const bool has_nvme = document.contains("nvme_smart_health_information_log");
  health.available = document.contains("smart_status") || document.contains("ata_smart_attributes") || has_nvme;
  if (!health.available) {
    health.reason = Reason_Without_Smart(document);
    return health;
  }
  const json::json_pointer passed("/smart_status/passed");
  if (document.contains(passed) && document.at(passed).is_boolean()) health.passed = document.at(passed).get<bool>();
  health.power_on_hours = Number_At<std::uint64_t>(document, json::json_pointer("/power_on_time/hours"));
  health.temperature_celsius = Number_At<std::int64_t>(document, json::json_pointer("/temperature/current"));
  health.reallocated_sectors = Attribute_Raw(document, 5);
  health.pending_sectors = Attribute_Raw(document, 197);
  health.uncorrectable_sectors = Attribute_Raw(document, 198);
  if (has_nvme) {
    health.media_errors =
        Number_At<std::uint64_t>(document, json::json_pointer("/nvme_smart_health_information_log/media_errors"));
  }
  return health;
}

Health_Change Health_Difference(const Drive_Health& start, const Drive_Health& end) {
  Health_Change change;
  change.reallocated_sectors = Growth(start.reallocated_sectors, end.reallocated_sectors);
  change.pending_sectors = Growth(start.pending_sectors, end.pending_sectors);
  change.uncorrectable_sectors = Growth(start.uncorrectable_sectors, end.uncorrectable_sectors);
  change.media_errors = Growth(start.media_errors, end.media_errors);
  change.began_failing = start.passed.value_or(true) && end.passed == false;
  return change;
}

#ifdef __linux__

namespace {

// smartctl's output for one drive is some tens of kilobytes; more than this
// is not smartctl's.
constexpr std::size_t Most_Output = std::size_t{4} << 20;

// smartctl lives in an administrator's folder, which a user's PATH often
// leaves out.
std::string Find_Smartctl() {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("PATH")) {
    std::istringstream parts(path);
    for (std::string folder; std::getline(parts, folder, ':');) {
      if (!folder.empty()) folders.push_back(folder);
    }
  }
  for (const char* folder : {"/usr/sbin", "/sbin", "/usr/local/sbin"}) folders.emplace_back(folder);
  for (const std::string& folder : folders) {
    const std::string candidate = folder + "/smartctl";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

Drive_Health Unavailable(std::string reason) {
  Drive_Health health;
  health.reason = std::move(reason);
  return health;
}

}  // namespace

Drive_Health Read_Drive_Health(const std::string& disk, std::chrono::milliseconds timeout) {
  if (disk.empty()) return Unavailable("the drive's device is not known");
  const std::string smartctl = Find_Smartctl();
  if (smartctl.empty()) return Unavailable("smartctl is not installed");

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return Unavailable("smartctl cannot be started");
  Unique_Fd reading(ends[0]);
  Unique_Fd writing(ends[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writing.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = smartctl, json_option = "-j", all_option = "-a", device = disk;
  char* arguments[] = {program.data(), json_option.data(), all_option.data(), device.data(), nullptr};
  // No locale: smartctl's messages stay in English, which the reasons are
  // read from.
  char fixed_path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  char* environment[] = {fixed_path, nullptr};
  pid_t child = -1;
  const int spawned = posix_spawn(&child, smartctl.c_str(), &actions, nullptr, arguments, environment);
  posix_spawn_file_actions_destroy(&actions);
  writing = Unique_Fd();
  if (spawned != 0) return Unavailable("smartctl cannot be started");

  std::string output;
  bool timed_out = false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output.size() < Most_Output) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd ready{reading.Get(), POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) {
      timed_out = polled == 0;
      break;
    }
    char block[16384];
    const ssize_t got = read(reading.Get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(block, static_cast<std::size_t>(got));
  }
  if (timed_out || output.size() >= Most_Output) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (timed_out) return Unavailable("smartctl did not answer in time");
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && output.empty()) {
    return Unavailable("smartctl cannot be started");
  }
  return Parse_Smartctl_Json(output);
}

#else

Drive_Health Read_Drive_Health(const std::string&, std::chrono::milliseconds) {
  Drive_Health health;
  health.reason = "not read on this system";
  return health;
}

#endif

}  // namespace palvimo
