#include "engine/uapi.h"
#include "store/local_time.h"
#include "tests/support/temp_dir.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace NVelmora::NTest {
namespace {

class SavedJobs : public ::testing::Test {
protected:
  // Toggles under the lock, as the route does; gives done and the new state.
  std::pair<bool, bool> Toggle(const std::string& JobJson) {
    bool Saved = true;
    std::lock_guard Guard(Engine.StoreLock);
    const bool Done = Engine.ToggleSavedJob(TJson::parse(JobJson), Saved);
    return {Done, Saved};
  }
  TJson List() {
    std::lock_guard Guard(Engine.StoreLock);
    return Engine.SavedJobsJson();
  }

  TTempDir Dir;
  TVelmoraApiServer Engine{Dir.Path(), 19029};
};

TEST_F(SavedJobs, TogglesOnOffAndOnAgainWithANewerIdFirst) {
  EXPECT_EQ(Toggle(R"({"slug":"a"})"), std::make_pair(true, true));
  EXPECT_EQ(Toggle(R"({"slug":"b"})"), std::make_pair(true, true));
  const int FirstIdOfA = List()[1]["id"].get<int>();

  EXPECT_EQ(Toggle(R"({"slug":"a","title":"ignored when removing"})"), std::make_pair(true, false));
  ASSERT_EQ(List().size(), 1u);
  EXPECT_EQ(List()[0]["slug"], "b");

  EXPECT_EQ(Toggle(R"({"slug":"a"})"), std::make_pair(true, true));
  const TJson Jobs = List();
  ASSERT_EQ(Jobs.size(), 2u);
  EXPECT_EQ(Jobs[0]["slug"], "a");
  EXPECT_GT(Jobs[0]["id"].get<int>(), Jobs[1]["id"].get<int>());
  EXPECT_GT(Jobs[0]["id"].get<int>(), FirstIdOfA);
}

TEST_F(SavedJobs, MatchesTheTrimmedSlugWithExactCase) {
  EXPECT_EQ(Toggle(R"({"slug":" \t dev-berlin \n"})"), std::make_pair(true, true));
  EXPECT_EQ(List()[0]["slug"], "dev-berlin");
  EXPECT_EQ(Toggle(R"({"slug":"Dev-Berlin"})"), std::make_pair(true, true));
  EXPECT_EQ(List().size(), 2u);
  EXPECT_EQ(Toggle(R"({"slug":"dev-berlin"})"), std::make_pair(true, false));
  const TJson Jobs = List();
  ASSERT_EQ(Jobs.size(), 1u);
  EXPECT_EQ(Jobs[0]["slug"], "Dev-Berlin");
}

TEST_F(SavedJobs, RefusesAnEmptySlugWithoutTouchingTheDatabase) {
  for (const char* Job : {R"({})", R"({"slug":""})", R"({"slug":" \t\r\n"})", R"({"slug":42})",
                          R"({"slug":null})", R"({"slug":["a"]})", R"({"title":"no slug"})"}) {
    EXPECT_EQ(Toggle(Job), std::make_pair(false, false)) << Job;
  }
  EXPECT_EQ(List(), TJson::array());
}

struct TStoredJobCase {
  const char* Input;
  const char* Expected;  // the element without "id" and "saved_at"
};

class SavedJobMembers : public SavedJobs, public ::testing::WithParamInterface<TStoredJobCase> {};

TEST_P(SavedJobMembers, StoresStringMembersAndEmptyTextForTheRest) {
  ASSERT_EQ(Toggle(GetParam().Input), std::make_pair(true, true));
  TJson Element = List().at(0);
  EXPECT_TRUE(Element["id"].is_number_integer());
  EXPECT_TRUE(Element["saved_at"].is_string());
  Element.erase("id");
  Element.erase("saved_at");
  EXPECT_EQ(Element.dump(), TJson::parse(GetParam().Expected).dump());
}

INSTANTIATE_TEST_SUITE_P(
    Store, SavedJobMembers,
    ::testing::Values(
        TStoredJobCase{
            R"({"slug":"s","title":" Engineer ","employer_name":" Acme ","country":"DE","city":"Berlin",
                "salary":"60k","sponsorship_badge":"Visa","apply_url":"https://a.example/apply","extra":"x"})",
            R"({"slug":"s","title":"Engineer","employer_name":" Acme ","country":"DE","city":"Berlin",
                "salary":"60k","sponsorship_badge":"Visa","apply_url":"https://a.example/apply"})"},
        TStoredJobCase{R"({"slug":"s"})",
                       R"({"slug":"s","title":"s","employer_name":"","country":"","city":"","salary":"",
                           "sponsorship_badge":"","apply_url":""})"},
        TStoredJobCase{R"({"slug":"s","title":"   "})",
                       R"({"slug":"s","title":"s","employer_name":"","country":"","city":"","salary":"",
                           "sponsorship_badge":"","apply_url":""})"},
        TStoredJobCase{R"({"slug":" s ","title":7,"employer_name":null,"country":true,"city":["Berlin"],
                           "salary":60000,"sponsorship_badge":{"a":"b"},"apply_url":1.5})",
                       R"({"slug":"s","title":"s","employer_name":"","country":"","city":"","salary":"",
                           "sponsorship_badge":"","apply_url":""})"}));

TEST_F(SavedJobs, ListsTheNewest120Of121AndStampsTheLocalMinute) {
  EXPECT_EQ(List(), TJson::array());
  const std::string Before = LocalTimestamp();
  for (int I = 1; I <= 121; ++I) {
    ASSERT_TRUE(Toggle(R"({"slug":"job-)" + std::to_string(I) + R"("})").first);
  }
  const std::string After = LocalTimestamp();
  const TJson Jobs = List();
  ASSERT_EQ(Jobs.size(), 120u);
  EXPECT_EQ(Jobs.front()["slug"], "job-121");
  EXPECT_EQ(Jobs.back()["slug"], "job-2");
  for (std::size_t I = 1; I < Jobs.size(); ++I) {
    EXPECT_LT(Jobs[I]["id"].get<int>(), Jobs[I - 1]["id"].get<int>());
  }
  const std::string SavedAt = Jobs.front()["saved_at"];
  EXPECT_TRUE(SavedAt == Before || SavedAt == After) << SavedAt;

  // The oldest comes back into the list once a newer one is removed.
  ASSERT_EQ(Toggle(R"({"slug":"job-121"})"), std::make_pair(true, false));
  EXPECT_EQ(List().back()["slug"], "job-1");
}

TEST(LocalTime, IsYearMonthDayHourMinute) {
  const std::string Stamp = LocalTimestamp();
  ASSERT_EQ(Stamp.size(), 16u) << Stamp;
  for (std::size_t I = 0; I < Stamp.size(); ++I) {
    const char C = Stamp[I];
    switch (I) {
      case 4: case 7: EXPECT_EQ(C, '-'); break;
      case 10: EXPECT_EQ(C, ' '); break;
      case 13: EXPECT_EQ(C, ':'); break;
      default: EXPECT_TRUE(C >= '0' && C <= '9') << Stamp;
    }
  }
}

} // namespace
} // namespace NVelmora::NTest
