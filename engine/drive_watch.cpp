#include "engine/drive_watch.h"

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

namespace palvimo {

namespace {

// How long smartctl may take before the drive is taken to give no answer.
constexpr std::chrono::seconds Health_Timeout{30};

// Runs `work` on a thread of its own and hands its answer over in a future.
// Where no thread can be started, `fallback` is the answer at once.
template <typename Value, typename Work>
std::shared_future<Value> Off_Thread(Work work, Value fallback) {
  auto promise = std::make_shared<std::promise<Value>>();
  std::shared_future<Value> answer = promise->get_future().share();
  try {
    std::thread([promise, work = std::move(work)] { promise->set_value(work()); }).detach();
  } catch (const std::system_error&) {
    promise->set_value(std::move(fallback));
  }
  return answer;
}

Drive_Health Not_Read(std::string why) {
  Drive_Health health;
  health.reason = std::move(why);
  return health;
}

}  // namespace

Drive_Watch::Drive_Watch()
    : Drive_Watch(Sources{
          [](const std::string& root) -> std::optional<Volume> {
#ifdef __linux__
            return Volume_Holding(root);
#else
            (void)root;
            return std::nullopt;
#endif
          },
          [](const Volume& volume) { return Identify_Drive(volume); },
          [](const std::string& disk) { return Read_Drive_Health(disk, Health_Timeout); }}) {
}

Drive_Watch::Drive_Watch(Sources sources) : sources_(std::move(sources)) {}

std::shared_future<Drive_Found> Drive_Watch::Look_Up(const std::string& root) const {
  return Off_Thread<Drive_Found>(
      [sources = sources_, root] {
        Drive_Found found;
        found.volume = sources.find_volume(root);
        if (found.volume) found.identity = sources.identify(*found.volume);
        found.health = found.identity.disk ? sources.read_health(*found.identity.disk)
                                           : Not_Read("no drive was found behind the folder");
        return found;
      },
      Drive_Found{std::nullopt, {}, Not_Read("no thread could be started to read it")});
}

std::shared_future<Drive_Health> Drive_Watch::Read_Health(const std::string& disk) const {
  return Off_Thread<Drive_Health>([read = sources_.read_health, disk] { return read(disk); },
                                  Not_Read("no thread could be started to read it"));
}

}  // namespace palvimo
