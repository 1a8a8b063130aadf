#include "engine/failure_log.h"

#include <utility>

#include "platform/escaped_text.h"

namespace palvimo {

namespace {

constexpr std::chrono::seconds Line_Interval{1};

}  // namespace

Failure_Log::Failure_Log(std::ostream& out, Clock clock) : out_(out), clock_(std::move(clock)) {}

void Failure_Log::Record(const std::string& path, const std::string& reason) {
  const auto now = clock_();
  const auto [found, first] = reasons_.try_emplace(reason);
  Reason_Record& record = found->second;
  if (!first && now - record.last_line < Line_Interval) {
    ++record.held_back;
    return;
  }
  out_ << "palvimo: " << Escaped_Text(path) << ": " << Escaped_Text(reason);
  if (record.held_back > 0) out_ << " (and " << record.held_back << " more like it)";
  out_ << std::endl;
  record = Reason_Record{now, 0};
}

void Failure_Log::Flush() {
  for (auto& [reason, record] : reasons_) {
    if (record.held_back == 0) continue;
    out_ << "palvimo: " << record.held_back << " more like this: " << Escaped_Text(reason) << std::endl;
    record.held_back = 0;
  }
}

}  // namespace palvimo
