#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <ostream>
#include <string>

namespace palvimo {

// Keeps the record of failed probes on a stream (standard error), so that a
// terminal or the desktop's journal has it: a line "palvimo: PATH: REASON",
// at most one a second for each reason, saying how many more like it were
// held back since the last one, so that a failing drive cannot flood it.
// Names are escaped (Escaped_Text), so that none can forge a line.
class Failure_Log {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit Failure_Log(std::ostream& out, Clock clock = std::chrono::steady_clock::now);

  void Record(const std::string& path, const std::string& reason);
  // Writes how many failures of each reason were held back since its last
  // line, so that nothing goes unsaid at the end of a run.
  void Flush();

 private:
  struct Reason_Record {
    std::chrono::steady_clock::time_point last_line;
    long held_back = 0;
  };

  std::ostream& out_;
  Clock clock_;
  std::map<std::string, Reason_Record> reasons_;
};

}  // namespace palvimo
