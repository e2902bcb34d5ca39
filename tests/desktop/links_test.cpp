#include "desktop/desktop.h"
#include "tests/desktop/desktop_fixtures.h"
#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;

struct TLinkCase {
  const char* Name;
  std::string Uri;
  std::vector<std::string> Opened;  // xdg-open's argument count and argument, one line per run
  friend void PrintTo(const TLinkCase& Case, std::ostream* Out) { *Out << Case.Name; }
};

class FollowExternalLinkTable : public ::testing::TestWithParam<TLinkCase> {
protected:
  void SetUp() override {
    if (const char* Path = std::getenv("PATH")) {
      OldPath_ = Path;
    }
    std::filesystem::create_directories(Dir_.Path() + "bin");
    WriteScript(Dir_.Path() + "bin/xdg-open", "printf '%s|%s\\n' \"$#\" \"$1\" >> '" + Record() + "'\n");
    ::setenv("PATH", (Dir_.Path() + "bin").c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", OldPath_.c_str(), 1); }

  std::string Record() const { return Dir_.Path() + "opened"; }
  // The record is complete once the xdg-open children (the test starts no others) have ended.
  std::vector<std::string> Opened() const {
    EXPECT_TRUE(WaitUntil([] { return CountChildren(::getpid(), /*Ended=*/false) == 0; }, 10s));
    return ReadLines(Record());
  }

  TTempDir Dir_;
  std::string OldPath_;
};

TEST_P(FollowExternalLinkTable, OpensWebMailAndPhoneAddressesTrimmedWithTheirCaseKept) {
  FollowExternalLink(GetParam().Uri);
  EXPECT_EQ(Opened(), GetParam().Opened);
}

INSTANTIATE_TEST_SUITE_P(
    Desktop, FollowExternalLinkTable,
    ::testing::Values(
        TLinkCase{"Https", "https://example.org/jobs?q=a b", {"1|https://example.org/jobs?q=a b"}},
        TLinkCase{"PaddedUpperCaseScheme", "  \t\x01HTTPS://Example.ORG/Path \r\n", {"1|HTTPS://Example.ORG/Path"}},
        TLinkCase{"Http", "Http://example.org", {"1|Http://example.org"}},
        TLinkCase{"Mailto", "MAILTO:Jobs@Example.org", {"1|MAILTO:Jobs@Example.org"}},
        TLinkCase{"Tel", "tel:+49 30 1234", {"1|tel:+49 30 1234"}},
        TLinkCase{"File", "file:///etc/passwd", {}},
        TLinkCase{"Ftp", "ftp://example.org/file", {}},
        TLinkCase{"JavaScript", "javascript:open('https://example.org/')", {}},
        TLinkCase{"Data", "data:text/html,https://example.org/", {}},
        TLinkCase{"AboutBlank", "about:blank", {}},
        TLinkCase{"SchemeWithoutSlashes", "https:example.org", {}},
        TLinkCase{"AddressInsideAnother", "x-https://example.org", {}},
        TLinkCase{"Blank", " \t ", {}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(FollowExternalLinkTable, DropsTheLinkQuietlyWhenXdgOpenIsMissingOrCannotRun) {
  ::setenv("PATH", "", 1);
  EXPECT_NO_THROW(FollowExternalLink("https://example.org/"));
  std::filesystem::permissions(Dir_.Path() + "bin/xdg-open", std::filesystem::perms::owner_read);
  ::setenv("PATH", (Dir_.Path() + "bin").c_str(), 1);
  EXPECT_NO_THROW(FollowExternalLink("https://example.org/"));
  EXPECT_EQ(Opened(), std::vector<std::string>{});
}

} // namespace
} // namespace NVelmora::NTest
