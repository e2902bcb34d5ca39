#include "engine/json_util.h"

#include <gtest/gtest.h>

#include <string>

namespace NVelmora {
namespace {

struct TParseCase {
  std::string Text;
  const char* Expected;  // the object written back compactly, nullptr for none
};

class ParseJsonObjectTable : public ::testing::TestWithParam<TParseCase> {};

TEST_P(ParseJsonObjectTable, GivesObjectsOnlyAndNeverThrows) {
  std::optional<TJson> Parsed;
  ASSERT_NO_THROW(Parsed = ParseJsonObject(GetParam().Text));
  if (GetParam().Expected == nullptr) {
    EXPECT_FALSE(Parsed.has_value()) << Parsed->dump();
  } else {
    ASSERT_TRUE(Parsed.has_value());
    EXPECT_EQ(Parsed->dump(), GetParam().Expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Engine, ParseJsonObjectTable, ::testing::Values(
    TParseCase{"", nullptr},
    TParseCase{" \t\r\n", nullptr},
    TParseCase{"[]", nullptr},
    TParseCase{"[{\"a\":1}]", nullptr},
    TParseCase{"null", nullptr},
    TParseCase{"\"{}\"", nullptr},
    TParseCase{"42", nullptr},
    TParseCase{"true", nullptr},
    TParseCase{"{\"a\":", nullptr},
    TParseCase{"{} {}", nullptr},
    TParseCase{"{\"a\":1} x", nullptr},
    TParseCase{"{\"a\":\"\xff\"}", nullptr},
    TParseCase{"  {}\r\n ", "{}"},
    // Members keep the order in which they were sent.
    TParseCase{"{\"z\":1,\"a\":[true,null],\"m\":{\"k\":\"v\"}}", "{\"z\":1,\"a\":[true,null],\"m\":{\"k\":\"v\"}}"},
    TParseCase{"{\"t\":\"caf\xC3\xA9 \\u00e9\"}", "{\"t\":\"caf\xC3\xA9 \xC3\xA9\"}"}));

// A request body of the engine's largest size may nest far deeper than any stack.
TEST(ParseJsonObject, SurvivesDeeplyNestedInput) {
  const std::size_t Depth = 1'000'000;
  std::string Arrays = std::string(Depth, '[') + std::string(Depth, ']');
  EXPECT_FALSE(ParseJsonObject(Arrays).has_value());

  std::string Objects;
  for (std::size_t I = 0; I < Depth; ++I) {
    Objects += "{\"a\":";
  }
  Objects += "1" + std::string(Depth, '}');
  const std::optional<TJson> Parsed = ParseJsonObject(Objects);
  ASSERT_TRUE(Parsed.has_value());
  EXPECT_TRUE(Parsed->contains("a"));
}

} // namespace
} // namespace NVelmora
