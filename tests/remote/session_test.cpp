#include "engine/uapi.h"
#include "tests/support/fake_service.h"
#include "tests/support/temp_dir.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace NVelmora::NTest {
namespace {

constexpr const char* Absent = "<absent>";
constexpr const char* StoredUser = R"({"id":1,"name":"Ada"})";

struct TSessionCase {
  std::string Name;
  std::string Token;      // stored auth_token; Absent for none
  bool Refresh;
  int MeStatus;           // 0: the service is down
  std::string MeBody;
  bool ExpectCall;
  bool Authenticated;
  std::string User;       // the payload's "user" as JSON text
  std::string KeptToken;  // auth_token afterwards
  std::string KeptUser;   // user_json afterwards
};

class Session : public ::testing::TestWithParam<TSessionCase> {};

TEST_P(Session, RefreshesOrDropsTheStoredSession) {
  const TSessionCase& Case = GetParam();
  TFakeService Service;
  TTempDir Dir;
  TVelmoraApiServer Engine(Dir.Path(), 19029);
  Engine.ApiBase = Service.ApiBase();
  if (Case.MeStatus == 0) {
    Service.Stop();
  } else {
    Service.Script("GET", "/me", {Case.MeStatus, Case.MeBody});
  }
  if (Case.Token != Absent) {
    Engine.KvSet("auth_token", Case.Token);
  }
  Engine.KvSet("user_json", StoredUser);
  ASSERT_EQ(Engine.AddOfflineNote("note", ""), 1);

  const TJson Payload = TJson::parse(Engine.BuildSessionJson(Case.Refresh));

  std::vector<std::string> Members;
  for (const auto& Item : Payload.items()) {
    Members.push_back(Item.key());
  }
  EXPECT_EQ(Members, (std::vector<std::string>{"ok", "authenticated", "user", "saved_jobs", "offline_notes"}));
  EXPECT_EQ(Payload["ok"], true);
  EXPECT_EQ(Payload["authenticated"], Case.Authenticated);
  EXPECT_EQ(Payload["user"], TJson::parse(Case.User));
  EXPECT_EQ(Payload["saved_jobs"], TJson::array());
  EXPECT_EQ(Payload["offline_notes"].size(), 1u);
  EXPECT_EQ(Engine.KvGet("auth_token", Absent), Case.KeptToken);
  EXPECT_EQ(TJson::parse(Engine.KvGet("user_json", "null")), TJson::parse(Case.KeptUser));

  const std::vector<TRecordedRequest> Requests = Service.Requests();
  ASSERT_EQ(Requests.size(), Case.ExpectCall ? 1u : 0u);
  if (Case.ExpectCall) {
    EXPECT_EQ(Requests[0].Method, "GET");
    EXPECT_EQ(Requests[0].Path, "/me");
    EXPECT_EQ(Requests[0].Header("Authorization"), "Bearer tok");
  }
}

const std::string NewUser = R"({"id":1,"name":"Ada L.","roles":["member"]})";

INSTANTIATE_TEST_SUITE_P(
    Remote, Session,
    ::testing::Values(
        TSessionCase{"NoTokenNoCall", Absent, true, 200, "{}", false, false, StoredUser, Absent, StoredUser},
        TSessionCase{"BlankTokenNoCall", " \t ", true, 200, "{}", false, false, StoredUser, " \t ", StoredUser},
        TSessionCase{"NoRefreshNoCall", "tok", false, 401, "{}", false, true, StoredUser, "tok", StoredUser},
        TSessionCase{"UserObjectReplaced", " tok ", true, 200, R"({"user":)" + NewUser + "}", true, true, NewUser,
                     " tok ", NewUser},
        TSessionCase{"UserNullKept", "tok", true, 200, R"({"user":null})", true, true, StoredUser, "tok", StoredUser},
        TSessionCase{"UserArrayKept", "tok", true, 200, R"({"user":[{"id":2}]})", true, true, StoredUser, "tok",
                     StoredUser},
        TSessionCase{"AnswerNotAnObject", "tok", true, 200, R"([{"user":{"id":2}}])", true, true, StoredUser, "tok",
                     StoredUser},
        TSessionCase{"UnauthorizedErasesBoth", "tok", true, 401, R"({"error":"expired"})", true, false, "null",
                     Absent, "null"},
        TSessionCase{"ServerErrorKept", "tok", true, 500, R"({"user":{"id":2}})", true, true, StoredUser, "tok",
                     StoredUser},
        TSessionCase{"ServiceDownKept", "tok", true, 0, "", false, true, StoredUser, "tok", StoredUser}),
    [](const ::testing::TestParamInfo<TSessionCase>& Info) { return Info.param.Name; });

} // namespace
} // namespace NVelmora::NTest
