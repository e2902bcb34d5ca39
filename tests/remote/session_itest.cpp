#include "tests/support/fake_service.h"
#include "tests/support/http_client.h"
#include "tests/support/remote_harness.h"
#include "tests/support/velmora_process.h"

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace NVelmora::NTest {
namespace {

using TJson = nlohmann::ordered_json;

struct TCloseDb {
  void operator()(sqlite3* Db) const { sqlite3_close(Db); }
};

// Writes into the program's database as another program would, bytes and all.
void WriteRows(const std::string& AppDir, const std::string& Sql) {
  sqlite3* Raw = nullptr;
  ASSERT_EQ(sqlite3_open((AppDir + "data/velmora.sqlite3").c_str(), &Raw), SQLITE_OK);
  std::unique_ptr<sqlite3, TCloseDb> Db(Raw);
  sqlite3_busy_timeout(Db.get(), 5000);
  char* Error = nullptr;
  ASSERT_EQ(sqlite3_exec(Db.get(), Sql.c_str(), nullptr, nullptr, &Error), SQLITE_OK) << (Error ? Error : "");
}

TEST(SessionRoute, StoredTextThatIsNotUtf8IsAnsweredWithReplacementCharacters) {
  TVelmoraProcess Velmora;
  ASSERT_NE(Velmora.Port(), 0);
  WriteRows(Velmora.AppDir(),
            "INSERT INTO kv_store(k, v) VALUES('auth_token', 'tok'), ('user_json', '{\"name\":\"Ren' || "
            "CAST(X'E9' AS TEXT) || '\"}');"
            "INSERT INTO saved_jobs(slug, title, saved_at) VALUES('cafe', 'Caf' || CAST(X'E9' AS TEXT), "
            "'2026-01-02 03:04');"
            "INSERT INTO offline_notes(title, body, created_at) VALUES(CAST(X'C328' AS TEXT), 'ok', "
            "'2026-01-02 03:04');");

  const THttpAnswer Answer = Get(Velmora.Port(), "/api/session");
  ASSERT_EQ(Answer.Status, 200) << Answer.Body;
  const TJson Payload = TJson::parse(Answer.Body);  // throws on text that is not UTF-8
  EXPECT_EQ(Payload["authenticated"], true);
  EXPECT_EQ(Payload["user"], nullptr);
  EXPECT_EQ(Payload["saved_jobs"].at(0)["title"], "Caf\xEF\xBF\xBD");
  EXPECT_EQ(Payload["offline_notes"].at(0)["title"], "\xEF\xBF\xBD(");
}

TEST(SessionRoute, RefreshesOnlyForRefreshEqualToOne) {
  TFakeService Service;
  Service.Script("GET", "/me", {200, R"({"user":{"id":5}})"});
  TVelmoraProcess Velmora(AgainstService(Service.ApiBase()));
  ASSERT_NE(Velmora.Port(), 0);
  WriteRows(Velmora.AppDir(), "INSERT INTO kv_store(k, v) VALUES('auth_token', 'tok');");

  struct TCase {
    const char* Query;
    bool Calls;
  };
  for (const TCase& Case : {TCase{"", false}, TCase{"?refresh=true", false}, TCase{"?refresh=yes", false},
                            TCase{"?refresh=", false}, TCase{"?refresh=01", false}, TCase{"?refresh=1", true},
                            TCase{"?x=2&refresh=%31", true}}) {
    Service.ClearRequests();
    const THttpAnswer Answer = Get(Velmora.Port(), std::string("/api/session") + Case.Query);
    EXPECT_EQ(Answer.Status, 200) << Case.Query;
    EXPECT_EQ(Service.Requests().size(), Case.Calls ? 1u : 0u) << Case.Query;
  }
  EXPECT_EQ(TJson::parse(Get(Velmora.Port(), "/api/session").Body)["user"], TJson::parse(R"({"id":5})"));
}

TEST(SessionRoute, ARefusalOfAnOlderTokenLeavesANewerSignInAlone) {
  TFakeService Service;
  TVelmoraProcess Velmora(AgainstService(Service.ApiBase()));
  ASSERT_NE(Velmora.Port(), 0);
  ASSERT_EQ(SignInThroughLogin(Service, Velmora.Port(), "tok-old", R"({"id":1})"), 200);
  TScriptedAnswer Slow{401, R"({"message":"Unauthenticated."})"};
  Slow.Delay = std::chrono::milliseconds(1500);
  Service.Script("GET", "/me", Slow);
  Service.ClearRequests();

  std::future<THttpAnswer> Refresh =
      std::async(std::launch::async, [&] { return Get(Velmora.Port(), "/api/session?refresh=1"); });
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Service.Requests().empty() && std::chrono::steady_clock::now() < Deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(Service.Requests().size(), 1u);
  // Signed in again while the service is still judging the old token.
  ASSERT_EQ(SignInThroughLogin(Service, Velmora.Port(), "tok-new", R"({"id":2})"), 200);

  EXPECT_EQ(TJson::parse(Refresh.get().Body)["authenticated"], false);
  EXPECT_EQ(StoredValue(Velmora.AppDir(), "auth_token"), "tok-new");
  EXPECT_EQ(TJson::parse(Get(Velmora.Port(), "/api/session").Body)["user"], TJson::parse(R"({"id":2})"));
}

} // namespace
} // namespace NVelmora::NTest
