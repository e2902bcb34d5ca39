#include "tests/support/fake_service.h"
#include "tests/support/http_client.h"
#include "tests/support/remote_harness.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>

namespace NVelmora::NTest {
namespace {

using nlohmann::json;

constexpr const char* Credentials = R"({"email":"ann@example.org","password":"p \"ä\" ss"})";

class AccountRoutes : public TServiceSuite {
protected:
  static void SetUpTestSuite() { StartSuite(); }

};

struct TSignInCase {
  const char* Name;
  const char* LocalPath;
  std::string RequestBody;
  TScriptedAnswer Remote;
  int ExpectedStatus;
  std::string ExpectedBody;                 // empty: the service's body, passed through
  std::optional<std::string> StoredToken;   // auth_token afterwards
  std::optional<std::string> StoredUser;    // user_json afterwards, as JSON
};

void PrintTo(const TSignInCase& Case, std::ostream* Out) { *Out << Case.Name; }

class SignIn : public AccountRoutes, public ::testing::WithParamInterface<TSignInCase> {};

TEST_P(SignIn, ForwardsTheBodyStoresOnlyAConfirmedTokenAndAnswersAsTheServiceDid) {
  const TSignInCase& Case = GetParam();
  const std::string RemotePath = std::string(Case.LocalPath).substr(4);
  Service_->Script("POST", RemotePath, Case.Remote);

  const THttpAnswer Answer = Post(Port(), Case.LocalPath, Case.RequestBody);

  EXPECT_EQ(Answer.Status, Case.ExpectedStatus);
  EXPECT_EQ(Answer.Body, Case.ExpectedBody.empty() ? Case.Remote.Body : Case.ExpectedBody);
  EXPECT_EQ(Answer.Header("Content-Type"), "application/json; charset=utf-8");

  const std::vector<TRecordedRequest> Requests = Service_->Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Method, "POST");
  EXPECT_EQ(Requests[0].Path, RemotePath);
  EXPECT_EQ(Requests[0].Body, Case.RequestBody);
  EXPECT_EQ(Requests[0].Header("Authorization"), std::nullopt);

  EXPECT_EQ(Stored("auth_token"), Case.StoredToken);
  const std::optional<std::string> User = Stored("user_json");
  EXPECT_EQ(User.has_value(), Case.StoredUser.has_value());
  if (User && Case.StoredUser) {
    EXPECT_EQ(json::parse(*User), json::parse(*Case.StoredUser));
  }
  const json Session = SessionOf(Port());
  EXPECT_EQ(Session["authenticated"], Case.StoredToken.has_value());
  EXPECT_EQ(Session["user"], Case.StoredUser ? json::parse(*Case.StoredUser) : json(nullptr));
}

TScriptedAnswer Json(int Status, const char* Body) {
  return Answer(Status, Body);
}

TScriptedAnswer Html(int Status, const char* Body) {
  TScriptedAnswer Answer = Json(Status, Body);
  Answer.ContentType = "text/html; charset=utf-8";
  return Answer;
}

INSTANTIATE_TEST_SUITE_P(
    Account, SignIn,
    ::testing::Values(
        TSignInCase{"TokenAndUser", "/api/auth/login", Credentials,
                    Json(200, R"({"token":"tok-200","user":{"id":7,"name":"Ann"},"mfa":false})"), 200, "", "tok-200",
                    R"({"id":7,"name":"Ann"})"},
        TSignInCase{"CreatedCounts", "/api/auth/register", Credentials, Json(201, R"({"token":"tok-201","user":{"id":8}})"),
                    201, "", "tok-201", R"({"id":8})"},
        TSignInCase{"TokenWithoutUser", "/api/auth/google", R"({"id_token":"g"})", Json(200, R"({"token":"tok-g"})"), 200,
                    "", "tok-g", std::nullopt},
        TSignInCase{"UserThatIsNoObject", "/api/auth/login", Credentials, Json(200, R"({"token":"tok-u","user":"Ann"})"),
                    200, "", "tok-u", std::nullopt},
        TSignInCase{"PaddedTokenKeptAsSent", "/api/auth/mfa-verify", R"({"code":"123456"})",
                    Json(200, R"({"token":"  tok-pad\t ","user":{"id":9}})"), 200, "", "  tok-pad\t ", R"({"id":9})"},
        TSignInCase{"TokenAsNumber", "/api/auth/login", Credentials, Json(200, R"({"token":42,"user":{"id":7}})"), 200, "",
                    std::nullopt, std::nullopt},
        TSignInCase{"TokenAsNull", "/api/auth/login", Credentials, Json(200, R"({"token":null,"user":{"id":7}})"), 200, "",
                    std::nullopt, std::nullopt},
        TSignInCase{"BlankToken", "/api/auth/mfa-verify", R"({"code":"1"})", Json(200, R"({"token":" \t ","user":{}})"),
                    200, "", std::nullopt, std::nullopt},
        TSignInCase{"SendCodeWithoutToken", "/api/auth/send-code", "", Json(200, R"({"sent":true})"), 200, "", std::nullopt,
                    std::nullopt},
        TSignInCase{"TokenOnARefusal", "/api/auth/register", Credentials,
                    Json(422, R"({"token":"tok-422","errors":{"email":["taken"]}})"), 422, "", std::nullopt, std::nullopt},
        TSignInCase{"BrokenJsonPassedThrough", "/api/auth/login", Credentials, Json(200, R"({"token":"tok-broken",)"), 200,
                    "", std::nullopt, std::nullopt},
        TSignInCase{"HtmlErrorPage", "/api/auth/login", Credentials, Html(500, "<html><body>Oops</body></html>"), 502,
                    std::string(UnexpectedAnswer), std::nullopt, std::nullopt},
        TSignInCase{"HtmlWithSuccess", "/api/auth/send-code", Credentials, Html(200, "<!doctype html><p>sent</p>"),
                    502, std::string(UnexpectedAnswer), std::nullopt, std::nullopt},
        TSignInCase{"EmptyBody", "/api/auth/register", Credentials, Json(200, ""), 502, std::string(UnexpectedAnswer),
                    std::nullopt, std::nullopt},
        TSignInCase{"ArrayWithToken", "/api/auth/login", Credentials, Json(200, R"([{"token":"tok-array"}])"), 502,
                    std::string(UnexpectedAnswer), std::nullopt, std::nullopt}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(AccountRoutes, RefusedSignInKeepsTheSignedInUserAndNeverSendsTheStoredToken) {
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-keep", R"({"id":1,"name":"Keep"})"), 200);
  Service_->ClearRequests();
  Service_->Script("POST", "/auth/login", Json(401, R"({"error":"Invalid credentials."})"));

  const THttpAnswer Answer = Post(Port(), "/api/auth/login", Credentials);

  EXPECT_EQ(Answer.Status, 401);
  EXPECT_EQ(Answer.Body, R"({"error":"Invalid credentials."})");
  ASSERT_EQ(Service_->Requests().size(), 1u);
  EXPECT_EQ(Service_->Requests()[0].Header("Authorization"), std::nullopt);
  EXPECT_EQ(Stored("auth_token"), "tok-keep");
  const json Session = SessionOf(Port());
  EXPECT_EQ(Session["authenticated"], true);
  EXPECT_EQ(Session["user"], json::parse(R"({"id":1,"name":"Keep"})"));
}

TEST_F(AccountRoutes, SignOutWhileSignedOutCallsNobody) {
  const THttpAnswer Answer = Post(Port(), "/api/auth/logout", "");
  EXPECT_EQ(Answer.Status, 200);
  EXPECT_EQ(Answer.Body, SignedOutAnswer);
  EXPECT_TRUE(Service_->Requests().empty());
}

TEST_F(AccountRoutes, SignOutForgetsTheSessionAndTellsTheServiceWithTheToken) {
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "  tok-out ", R"({"id":2})"), 200);
  Service_->ClearRequests();
  Service_->Script("POST", "/auth/logout", Json(500, R"({"error":"ignored"})"));

  const THttpAnswer Answer = Post(Port(), "/api/auth/logout", R"({"everywhere":true})");

  EXPECT_EQ(Answer.Status, 200);
  EXPECT_EQ(Answer.Body, SignedOutAnswer);
  const std::vector<TRecordedRequest> Requests = Service_->Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Method, "POST");
  EXPECT_EQ(Requests[0].Path, "/auth/logout");
  EXPECT_EQ(Requests[0].Body, "{}");
  EXPECT_EQ(Requests[0].Header("Authorization"), "Bearer tok-out");
  EXPECT_EQ(Stored("auth_token"), std::nullopt);
  EXPECT_EQ(Stored("user_json"), std::nullopt);
  EXPECT_EQ(SessionOf(Port())["authenticated"], false);
}

TEST(AccountServiceDown, SignInIsUnreachableAndSignOutStillForgetsTheSession) {
  TFakeService Service;
  TVelmoraOptions Options;
  Options.Env = {{"VLM_API_BASE", Service.ApiBase()}};
  TVelmoraProcess Velmora(Options);
  ASSERT_EQ(SignInThroughLogin(Service, Velmora.Port(), "tok-a", R"({"id":3})"), 200);
  Service.Stop();

  for (const char* Path :
       {"/api/auth/login", "/api/auth/mfa-verify", "/api/auth/register", "/api/auth/send-code", "/api/auth/google"}) {
    const THttpAnswer Answer = Post(Velmora.Port(), Path, Credentials);
    EXPECT_EQ(Answer.Status, 503) << Path;
    EXPECT_EQ(Answer.Body, UnreachableAnswer) << Path;
  }
  EXPECT_EQ(StoredValue(Velmora.AppDir(), "auth_token"), "tok-a");

  const THttpAnswer Answer = Post(Velmora.Port(), "/api/auth/logout", "");
  EXPECT_EQ(Answer.Status, 200);
  EXPECT_EQ(Answer.Body, SignedOutAnswer);
  EXPECT_EQ(StoredValue(Velmora.AppDir(), "auth_token"), std::nullopt);
  EXPECT_EQ(StoredValue(Velmora.AppDir(), "user_json"), std::nullopt);
}

// With no service at all, every route that calls it gives its offline or unreachable
// answer at once: never the engine-error answer, never a wait for curl's time limit.
struct TNoServiceCase {
  const char* Method;
  const char* Target;
  const char* Body;
  int ExpectedStatus;
  std::string_view Expected;
  bool WholeBody;  // false: Expected is only the beginning
};

void PrintTo(const TNoServiceCase& Case, std::ostream* Out) { *Out << Case.Method << " " << Case.Target; }

class WithoutService : public ::testing::TestWithParam<TNoServiceCase> {
protected:
  static void SetUpTestSuite() {
    Opener_ = std::make_unique<TFakeOpener>();
    TVelmoraOptions Options;
    Options.Env = {{"VLM_API_BASE", UnreachableApiBase()}, {"PATH", Opener_->SearchPath()}};
    Velmora_ = std::make_unique<TVelmoraProcess>(Options);
  }
  static void TearDownTestSuite() {
    Velmora_.reset();
    Opener_.reset();
  }
  static inline std::unique_ptr<TFakeOpener> Opener_;
  static inline std::unique_ptr<TVelmoraProcess> Velmora_;
};

TEST_P(WithoutService, AnswersOfflineOrUnreachableAtOnce) {
  const TNoServiceCase& Case = GetParam();
  ASSERT_NE(Velmora_->Port(), 0);
  const auto Start = std::chrono::steady_clock::now();
  const THttpAnswer Answer = Send(Velmora_->Port(), TRequestSpec{Case.Method, Case.Target, Case.Body, {}, true});
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));

  EXPECT_EQ(Answer.Status, Case.ExpectedStatus);
  if (Case.WholeBody) {
    EXPECT_EQ(Answer.Body, Case.Expected);
  } else {
    EXPECT_EQ(Answer.Body.substr(0, Case.Expected.size()), Case.Expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Routes, WithoutService,
    ::testing::Values(TNoServiceCase{"POST", "/api/auth/login", Credentials, 503, UnreachableAnswer, true},
                      TNoServiceCase{"POST", "/api/auth/mfa-verify", "{}", 503, UnreachableAnswer, true},
                      TNoServiceCase{"POST", "/api/auth/register", Credentials, 503, UnreachableAnswer, true},
                      TNoServiceCase{"POST", "/api/auth/send-code", "", 503, UnreachableAnswer, true},
                      TNoServiceCase{"POST", "/api/auth/google", "{}", 503, UnreachableAnswer, true},
                      TNoServiceCase{"POST", "/api/auth/logout", "", 200, SignedOutAnswer, true},
                      TNoServiceCase{"GET", "/api/session?refresh=1", "", 200, R"({"ok":true,"authenticated":false,)",
                                     false},
                      TNoServiceCase{"GET", "/api/auth/google-start", "", 200, R"({"ok":true,"url":"http://127.0.0.1:)",
                                     false},
                      TNoServiceCase{"GET", "/api/auth/google-callback?token=tok", "", 400, GoogleFailurePage, true},
                      TNoServiceCase{"GET", "/api/v1/home", "", 503, OfflineAnswer, true},
                      TNoServiceCase{"GET", "/api/v1/jobs", "", 503, OfflineAnswer, true},
                      TNoServiceCase{"GET", "/api/v1/blog", "", 503, OfflineAnswer, true},
                      TNoServiceCase{"GET", "/api/v1/community", "", 503, OfflineAnswer, true},
                      TNoServiceCase{"GET", "/api/v1/scam-alerts", "", 503, OfflineAnswer, true},
                      TNoServiceCase{"GET", "/api/v1/courses", "", 503, OfflineAnswer, true},
                      TNoServiceCase{"GET", "/api/v1/jobs/some-slug?ref=home", "", 503, OfflineAnswer, true},
                      TNoServiceCase{"POST", "/api/v1/community", R"({"title":"Hi"})", 503, OfflineAnswer, true},
                      TNoServiceCase{"DELETE", "/api/v1/community/5", "", 503, OfflineAnswer, true}));

} // namespace
} // namespace NVelmora::NTest
