#include "engine/failure_log.h"

#include <gtest/gtest.h>

#include <sstream>

namespace palvimo {
namespace {

using Clock = std::chrono::steady_clock;

// A failing drive fails every probe; its record is one line a second for
// each reason, and the next line says how many were held back.
TEST(Failure_Log_Test, OneLineASecondForEachReasonCountingTheRest) {
  std::ostringstream out;
  Clock::time_point now{};
  Failure_Log log(out, [&] { return now; });
  log.Record("/d/a", "cannot read: Input/output error");
  log.Record("/d/b", "cannot read: Input/output error");
  log.Record("/d/c", "no space left for the copy");
  now += std::chrono::milliseconds(999);
  log.Record("/d/d", "cannot read: Input/output error");
  now += std::chrono::milliseconds(1);
  log.Record("/d/e", "cannot read: Input/output error");
  now += std::chrono::milliseconds(500);
  log.Record("/d/f", "no space left for the copy");
  log.Record("/d/g", "no space left for the copy");
  EXPECT_EQ(out.str(),
            "palvimo: /d/a: cannot read: Input/output error\n"
            "palvimo: /d/c: no space left for the copy\n"
            "palvimo: /d/e: cannot read: Input/output error (and 2 more like it)\n"
            "palvimo: /d/f: no space left for the copy\n");
}

// A name with a line break, a terminal's escape and bytes that are not UTF-8
// stays on its own line, and reaches the terminal as text only.
TEST(Failure_Log_Test, NamesCannotForgeALineOrReachTheTerminal) {
  std::ostringstream out;
  Failure_Log log(out);
  log.Record("/d/a\npalvimo: /d/b: all is well\x1b[2J\xff", "cannot delete the copy, left as .p\r");
  EXPECT_EQ(out.str(), "palvimo: /d/a\\npalvimo: /d/b: all is well\\x1b[2J\\xff: cannot delete the copy, left as .p\\r\n");
}

}  // namespace
}  // namespace palvimo
