#include "engine/uapi.h"
#include "store/local_time.h"
#include "tests/support/temp_dir.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <string>

namespace NVelmora::NTest {
namespace {

class OfflineNotes : public ::testing::Test {
protected:
  std::int32_t Add(std::string_view Title, std::string_view Body) {
    std::lock_guard Guard(Engine.StoreLock);
    return Engine.AddOfflineNote(Title, Body);
  }
  void Delete(std::int32_t Id) {
    std::lock_guard Guard(Engine.StoreLock);
    Engine.DeleteOfflineNote(Id);
  }
  TJson List() {
    std::lock_guard Guard(Engine.StoreLock);
    return Engine.OfflineNotesJson();
  }

  TTempDir Dir;
  TVelmoraApiServer Engine{Dir.Path(), 19029};
};

TEST_F(OfflineNotes, AddGivesTheIdOfTheTrimmedNoteListedFirst) {
  const std::string Before = LocalTimestamp();
  const std::int32_t First = Add("first", "");
  const std::int32_t Second = Add(" \t Groceries \n", "\n  milk\r\n  eggs  \n\n");
  const std::string After = LocalTimestamp();
  EXPECT_GT(Second, First);

  const TJson Notes = List();
  ASSERT_EQ(Notes.size(), 2u);
  const TJson& Newest = Notes[0];
  EXPECT_EQ(Newest["id"], Second);
  EXPECT_EQ(Newest["title"], "Groceries");
  EXPECT_EQ(Newest["body"], "milk\r\n  eggs");
  const std::string CreatedAt = Newest["created_at"];
  EXPECT_TRUE(CreatedAt == Before || CreatedAt == After) << CreatedAt;
  EXPECT_EQ(Notes[1]["id"], First);
  EXPECT_EQ(Notes[1]["body"], "");

  std::vector<std::string> Members;
  for (const auto& Item : Newest.items()) {
    Members.push_back(Item.key());
  }
  EXPECT_EQ(Members, (std::vector<std::string>{"id", "title", "body", "created_at"}));
}

TEST_F(OfflineNotes, NeverReusesTheIdOfADeletedNewestNote) {
  Add("a", "");
  const std::int32_t Newest = Add("b", "");
  Delete(Newest);
  Delete(Newest);  // a second delete of the same id changes nothing
  ASSERT_EQ(List().size(), 1u);
  EXPECT_GT(Add("c", ""), Newest);
}

TEST_F(OfflineNotes, DeletesOnlyTheNoteOfThatId) {
  const std::int32_t A = Add("a", "");
  const std::int32_t B = Add("b", "");
  Delete(B + 100);
  Delete(A);
  const TJson Notes = List();
  ASSERT_EQ(Notes.size(), 1u);
  EXPECT_EQ(Notes[0]["id"], B);
}

TEST_F(OfflineNotes, ListsTheNewest100Of101) {
  EXPECT_EQ(List(), TJson::array());
  for (int I = 1; I <= 101; ++I) {
    Add("note " + std::to_string(I), "");
  }
  const TJson Notes = List();
  ASSERT_EQ(Notes.size(), 100u);
  EXPECT_EQ(Notes.front()["title"], "note 101");
  EXPECT_EQ(Notes.back()["title"], "note 2");
  for (std::size_t I = 1; I < Notes.size(); ++I) {
    EXPECT_LT(Notes[I]["id"].get<int>(), Notes[I - 1]["id"].get<int>());
  }
}

} // namespace
} // namespace NVelmora::NTest
