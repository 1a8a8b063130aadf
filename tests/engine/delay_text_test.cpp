#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/delay_text.h"
#include "engine/extension_rule.h"

namespace palvimo {
namespace {

struct Delay_Case {
  std::string text;
  std::optional<std::uint32_t> milliseconds;
};

class Delay_Text : public ::testing::TestWithParam<Delay_Case> {};

TEST_P(Delay_Text, ReadsAsWholeMilliseconds) {
  EXPECT_EQ(Parse_Delay(GetParam().text), GetParam().milliseconds) << "text: '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Delay_Text,
    ::testing::Values(
        // Plain numbers, blanks and signs.
        Delay_Case{"500", 500}, Delay_Case{"0", 0}, Delay_Case{"  42  ", 42}, Delay_Case{"\t7", 7},
        Delay_Case{"+12", 12}, Delay_Case{"007", 7},
        // Fractions round to the nearest, a half to the even neighbour.
        Delay_Case{"0.5", 0}, Delay_Case{"1.5", 2}, Delay_Case{"2.5", 2}, Delay_Case{"3.5", 4},
        Delay_Case{"2.50000000000000000001", 3}, Delay_Case{"2.4999999999999999999", 2}, Delay_Case{"2.0", 2},
        Delay_Case{"-0.4", 0}, Delay_Case{"-0", 0},
        // Negative values and values beyond the signed 32-bit range give no pause.
        Delay_Case{"-1", std::nullopt}, Delay_Case{"-0.6", std::nullopt}, Delay_Case{"2147483647", 2147483647u},
        Delay_Case{"2147483647.4", 2147483647u}, Delay_Case{"2147483647.5", std::nullopt},
        Delay_Case{"2147483648", std::nullopt}, Delay_Case{"99999999999999999999999", std::nullopt},
        // Anything else is not a number.
        Delay_Case{"", std::nullopt}, Delay_Case{"   ", std::nullopt}, Delay_Case{"abc", std::nullopt},
        Delay_Case{"12ms", std::nullopt}, Delay_Case{"1 2", std::nullopt}, Delay_Case{"1.", std::nullopt},
        Delay_Case{".5", std::nullopt}, Delay_Case{"1.2.3", std::nullopt}, Delay_Case{"+-1", std::nullopt},
        Delay_Case{"1e3", std::nullopt}, Delay_Case{"0x10", std::nullopt}, Delay_Case{"-", std::nullopt}));

TEST(Extension_Rule, RefusesNamesThatAreNotSafeSiblings) {
  EXPECT_TRUE(Extension_Problem(""));
  EXPECT_TRUE(Extension_Problem("/x"));
  EXPECT_TRUE(Extension_Problem(".a/../b"));
  EXPECT_TRUE(Extension_Problem(std::string(".a\0b", 4)));
  EXPECT_FALSE(Extension_Problem(".PVF"));
  EXPECT_FALSE(Extension_Problem("x"));
  EXPECT_FALSE(Extension_Problem(".."));
  EXPECT_FALSE(Extension_Problem(" copy"));
}

}  // namespace
}  // namespace palvimo
