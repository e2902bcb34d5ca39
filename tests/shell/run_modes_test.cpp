#include "shell/run_modes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace NVelmora {
namespace {

struct THeadlessCase {
  std::vector<std::string> Args;
  const char* Env;  // VLM_HEADLESS, nullptr when unset
  bool Expected;
};

class HeadlessSwitch : public ::testing::TestWithParam<THeadlessCase> {};

TEST_P(HeadlessSwitch, MatchesTrimmedLowerCaseSwitchesAndExactEnvValue) {
  EXPECT_EQ(IsHeadless(GetParam().Args, GetParam().Env), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Shell, HeadlessSwitch, ::testing::Values(
    THeadlessCase{{}, nullptr, false},
    THeadlessCase{{"--headless"}, nullptr, true},
    THeadlessCase{{"--headless-server"}, nullptr, true},
    THeadlessCase{{"--server-only"}, nullptr, true},
    THeadlessCase{{" --HEADLESS "}, nullptr, true},
    THeadlessCase{{"\t--Server-Only\n"}, nullptr, true},
    THeadlessCase{{"a", "b", "c", "--server-only"}, nullptr, true},
    THeadlessCase{{"--headless=1"}, nullptr, false},
    THeadlessCase{{"--headless=1", "--headless"}, nullptr, true},
    THeadlessCase{{"-headless", "headless", "--headless-", "--server_only"}, nullptr, false},
    THeadlessCase{{"--head less"}, nullptr, false},
    THeadlessCase{{"--\xC4\xB0headless"}, nullptr, false},
    THeadlessCase{{}, "1", true},
    THeadlessCase{{"--headless=0"}, "1", true},
    THeadlessCase{{}, "", false},
    THeadlessCase{{}, "0", false},
    THeadlessCase{{}, "true", false},
    THeadlessCase{{}, "TRUE", false},
    THeadlessCase{{}, "yes", false},
    THeadlessCase{{}, "1 ", false},
    THeadlessCase{{}, " 1", false},
    THeadlessCase{{}, "01", false}));

} // namespace
} // namespace NVelmora
