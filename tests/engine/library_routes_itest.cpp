#include "tests/support/http_client.h"
#include "tests/support/velmora_process.h"

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace NVelmora::NTest {
namespace {

using TJson = nlohmann::ordered_json;

TJson Session(std::uint16_t Port) {
  const THttpAnswer Answer = Get(Port, "/api/session");
  EXPECT_EQ(Answer.Status, 200) << Answer.Body;
  return TJson::parse(Answer.Body);
}

// The id of an answer "{"ok":true,"id":N}", or -1 when the answer is not of that form.
int NoteId(const THttpAnswer& Answer) {
  static const std::regex Form(R"(\{"ok":true,"id":([0-9]+)\})");
  std::smatch Match;
  return Answer.Status == 200 && std::regex_match(Answer.Body, Match, Form) ? std::stoi(Match[1]) : -1;
}

struct TValidationCase {
  const char* Path;
  const char* Body;
  int Status;
  const char* Answer;
};

class LibraryValidation : public ::testing::TestWithParam<TValidationCase> {
protected:
  static void SetUpTestSuite() { Velmora = new TVelmoraProcess(); }
  static void TearDownTestSuite() { delete Velmora; }
  static TVelmoraProcess* Velmora;
};
TVelmoraProcess* LibraryValidation::Velmora = nullptr;

TEST_P(LibraryValidation, AnswersExactlyAndChangesNothing) {
  ASSERT_NE(Velmora->Port(), 0);
  const THttpAnswer Answer = Post(Velmora->Port(), GetParam().Path, GetParam().Body);
  EXPECT_EQ(Answer.Status, GetParam().Status);
  EXPECT_EQ(Answer.Body, GetParam().Answer);
  EXPECT_EQ(Answer.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Answer.Header("Connection"), "close");
  EXPECT_EQ(Answer.Header("Cache-Control"), "no-cache");
  const TJson State = Session(Velmora->Port());
  EXPECT_EQ(State["saved_jobs"], TJson::array());
  EXPECT_EQ(State["offline_notes"], TJson::array());
}

constexpr const char* Toggle = "/api/saved-jobs/toggle";
constexpr const char* AddNote = "/api/offline-notes";
constexpr const char* DeleteNote = "/api/offline-notes/delete";
constexpr const char* InvalidPayload = R"({"ok":false,"error":"Invalid payload."})";
constexpr const char* SlugRequired = R"({"ok":false,"error":"Job slug required."})";
constexpr const char* TitleRequired = R"({"ok":false,"error":"Title is required."})";
constexpr const char* Ok = R"({"ok":true})";

INSTANTIATE_TEST_SUITE_P(
    Routes, LibraryValidation,
    ::testing::Values(
        TValidationCase{Toggle, "", 400, InvalidPayload}, TValidationCase{Toggle, " \r\n ", 400, InvalidPayload},
        TValidationCase{Toggle, "null", 400, InvalidPayload},
        TValidationCase{Toggle, R"([{"slug":"a"}])", 400, InvalidPayload},
        TValidationCase{Toggle, R"({"slug":"a")", 400, InvalidPayload},
        TValidationCase{Toggle, R"("slug")", 400, InvalidPayload}, TValidationCase{Toggle, "{}", 400, SlugRequired},
        TValidationCase{Toggle, R"({"slug":" \t "})", 400, SlugRequired},
        TValidationCase{Toggle, R"({"slug":17,"title":"x"})", 400, SlugRequired},
        TValidationCase{AddNote, "", 400, TitleRequired}, TValidationCase{AddNote, "{title:", 400, TitleRequired},
        TValidationCase{AddNote, R"(["title"])", 400, TitleRequired},
        TValidationCase{AddNote, R"({"body":"only a body"})", 400, TitleRequired},
        TValidationCase{AddNote, R"({"title":"  \n "})", 400, TitleRequired},
        TValidationCase{AddNote, R"({"title":5,"body":"b"})", 400, TitleRequired},
        TValidationCase{DeleteNote, "", 200, Ok}, TValidationCase{DeleteNote, "nonsense", 200, Ok},
        TValidationCase{DeleteNote, R"({"id":"1"})", 200, Ok}, TValidationCase{DeleteNote, R"({"id":0})", 200, Ok},
        TValidationCase{DeleteNote, R"({"id":-2})", 200, Ok}, TValidationCase{DeleteNote, R"({"id":99})", 200, Ok}));

TEST(LibraryRoutes, ChangesAreSeenInTheSession) {
  TVelmoraProcess Velmora;
  const std::uint16_t Port = Velmora.Port();
  ASSERT_NE(Port, 0);

  EXPECT_EQ(Post(Port, Toggle,
                 R"({"slug":" dev-7 ","title":"Developer","employer_name":" Acme ","country":"DE",)"
                 R"("city":"Berlin","salary":12,"sponsorship_badge":"Visa","apply_url":"https://a.example/7"})")
                .Body,
            R"({"ok":true,"saved":true})");
  const int First = NoteId(Post(Port, AddNote, R"({"title":" Call Acme ","body":"  ask about visa \n"})"));
  const int Second = NoteId(Post(Port, AddNote, R"({"title":"Untitled body"})"));
  ASSERT_GT(First, 0);
  EXPECT_GT(Second, First);

  const THttpAnswer Answer = Get(Port, "/api/session");
  EXPECT_EQ(Answer.Body.rfind(R"({"ok":true,"authenticated":false,"user":null,"saved_jobs":[{"id":)", 0), 0u)
      << Answer.Body;
  TJson State = TJson::parse(Answer.Body);
  ASSERT_EQ(State["saved_jobs"].size(), 1u);
  TJson Job = State["saved_jobs"][0];
  EXPECT_TRUE(Job["saved_at"].is_string());
  Job.erase("saved_at");
  Job.erase("id");
  EXPECT_EQ(Job.dump(), R"({"slug":"dev-7","title":"Developer","employer_name":" Acme ","country":"DE",)"
                        R"("city":"Berlin","salary":"","sponsorship_badge":"Visa","apply_url":"https://a.example/7"})");
  ASSERT_EQ(State["offline_notes"].size(), 2u);
  EXPECT_EQ(State["offline_notes"][0]["id"], Second);
  EXPECT_EQ(State["offline_notes"][0]["body"], "");
  EXPECT_EQ(State["offline_notes"][1]["id"], First);
  EXPECT_EQ(State["offline_notes"][1]["title"], "Call Acme");
  EXPECT_EQ(State["offline_notes"][1]["body"], "ask about visa");

  EXPECT_EQ(Post(Port, Toggle, R"({"slug":"dev-7"})").Body, R"({"ok":true,"saved":false})");
  EXPECT_EQ(Post(Port, DeleteNote, R"({"id":)" + std::to_string(First) + ".0}").Body, Ok);
  State = Session(Port);
  EXPECT_EQ(State["saved_jobs"], TJson::array());
  ASSERT_EQ(State["offline_notes"].size(), 1u);
  EXPECT_EQ(State["offline_notes"][0]["id"], Second);
}

TEST(LibraryRoutes, ConcurrentWritesLoseNothingAndGetDistinctIds) {
  TVelmoraProcess Velmora;
  const std::uint16_t Port = Velmora.Port();
  ASSERT_NE(Port, 0);
  constexpr int Threads = 8;
  constexpr int Rounds = 6;

  struct TOutcome {
    std::vector<int> NoteIds;
    int SharedSaved = 0;
    int SharedUnsaved = 0;
    std::vector<std::string> Failures;
  };
  std::vector<TOutcome> Outcomes(Threads);
  std::vector<std::thread> Workers;
  for (int T = 0; T < Threads; ++T) {
    Workers.emplace_back([&, T] {
      TOutcome& Out = Outcomes[T];
      for (int R = 0; R < Rounds; ++R) {
        const std::string Name = std::to_string(T) + "-" + std::to_string(R);
        const THttpAnswer Own = Post(Port, Toggle, R"({"slug":"job-)" + Name + R"("})");
        if (Own.Body != R"({"ok":true,"saved":true})") {
          Out.Failures.push_back("own toggle: " + Own.Body);
        }
        // Every thread also toggles one shared slug: each toggle must see the one before it.
        const THttpAnswer Shared = Post(Port, Toggle, R"({"slug":"shared"})");
        if (Shared.Body == R"({"ok":true,"saved":true})") {
          ++Out.SharedSaved;
        } else if (Shared.Body == R"({"ok":true,"saved":false})") {
          ++Out.SharedUnsaved;
        } else {
          Out.Failures.push_back("shared toggle: " + Shared.Body);
        }
        const THttpAnswer Note = Post(Port, AddNote, R"({"title":"note )" + Name + R"("})");
        if (const int Id = NoteId(Note); Id > 0) {
          Out.NoteIds.push_back(Id);
        } else {
          Out.Failures.push_back("note: " + Note.Body);
        }
      }
    });
  }
  for (std::thread& Worker : Workers) {
    Worker.join();
  }

  std::set<int> Answered;
  int Saved = 0;
  int Unsaved = 0;
  for (const TOutcome& Out : Outcomes) {
    EXPECT_EQ(Out.Failures, std::vector<std::string>{});
    Answered.insert(Out.NoteIds.begin(), Out.NoteIds.end());
    Saved += Out.SharedSaved;
    Unsaved += Out.SharedUnsaved;
  }
  EXPECT_EQ(Answered.size(), std::size_t{Threads * Rounds});
  EXPECT_EQ(Saved, Unsaved);

  const TJson State = Session(Port);
  std::set<std::string> Slugs;
  for (const TJson& Job : State["saved_jobs"]) {
    Slugs.insert(Job["slug"].get<std::string>());
  }
  EXPECT_EQ(Slugs.size(), std::size_t{Threads * Rounds});
  EXPECT_EQ(Slugs.count("shared"), 0u);
  std::set<int> Listed;
  for (const TJson& Note : State["offline_notes"]) {
    Listed.insert(Note["id"].get<int>());
  }
  EXPECT_EQ(Listed, Answered);
}

struct TCloseDb {
  void operator()(sqlite3* Db) const { sqlite3_close(Db); }
};

TEST(LibraryRoutes, AWriteFailsAfterTheBusyTimeoutWhileAnotherProgramLocksTheDatabase) {
  TVelmoraProcess Velmora;
  const std::uint16_t Port = Velmora.Port();
  ASSERT_NE(Port, 0);

  sqlite3* Raw = nullptr;
  ASSERT_EQ(sqlite3_open((Velmora.AppDir() + "data/velmora.sqlite3").c_str(), &Raw), SQLITE_OK);
  std::unique_ptr<sqlite3, TCloseDb> Other(Raw);
  ASSERT_EQ(sqlite3_exec(Other.get(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

  const auto Start = std::chrono::steady_clock::now();
  const THttpAnswer Locked = Post(Port, Toggle, R"({"slug":"while-locked"})");
  const auto Waited = std::chrono::steady_clock::now() - Start;
  EXPECT_EQ(Locked.Status, 500);
  EXPECT_EQ(Locked.Body, R"({"ok":false,"error":"Local engine error."})");
  EXPECT_GE(Waited, std::chrono::milliseconds(4500));
  EXPECT_LT(Waited, std::chrono::seconds(15));

  ASSERT_EQ(sqlite3_exec(Other.get(), "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  Other.reset();
  EXPECT_EQ(Post(Port, Toggle, R"({"slug":"after-unlock"})").Body, R"({"ok":true,"saved":true})");
  EXPECT_GT(NoteId(Post(Port, AddNote, R"({"title":"after unlock"})")), 0);
  const TJson State = Session(Port);
  ASSERT_EQ(State["saved_jobs"].size(), 1u);
  EXPECT_EQ(State["saved_jobs"][0]["slug"], "after-unlock");
  EXPECT_EQ(State["offline_notes"].size(), 1u);
}

} // namespace
} // namespace NVelmora::NTest
