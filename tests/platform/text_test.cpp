#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace NVelmora {
namespace {

struct TTrimCase {
  std::string Input;
  std::string Expected;
};

class TrimTable : public ::testing::TestWithParam<TTrimCase> {};

TEST_P(TrimTable, RemovesOnlyOuterBytesUpToBlank) {
  EXPECT_EQ(Trim(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Platform, TrimTable, ::testing::Values(
    TTrimCase{"", ""},
    TTrimCase{" \t\r\n", ""},
    TTrimCase{"abc", "abc"},
    TTrimCase{"  a b\tc \r\n", "a b\tc"},
    TTrimCase{std::string("\0\x01\x1f x \x7f", 7), "x \x7f"},
    TTrimCase{std::string("\x20\0", 2), ""},
    // Bytes of multibyte UTF-8 are above 127 and must never count as blanks.
    TTrimCase{" \xC3\xA9t\xC3\xA9 ", "\xC3\xA9t\xC3\xA9"},
    TTrimCase{"\xA0x\xA0", "\xA0x\xA0"}));

} // namespace
} // namespace NVelmora
