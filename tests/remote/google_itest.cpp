#include "tests/support/fake_service.h"
#include "tests/support/http_client.h"
#include "tests/support/remote_harness.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <thread>

namespace NVelmora::NTest {
namespace {

using nlohmann::json;

constexpr const char* KeptUser = R"({"id":1,"name":"Keep"})";

std::string CallbackPart(std::uint16_t Port) {
  return "/auth/google?native_callback=http%3A%2F%2F127.0.0.1%3A" + std::to_string(Port) +
         "%2Fapi%2Fauth%2Fgoogle-callback";
}

// Children of Parent that have ended but were never waited for.
int ZombieChildren(pid_t Parent) {
  int Zombies = 0;
  for (const auto& Entry : std::filesystem::directory_iterator("/proc")) {
    const std::string Stat = ReadFile(Entry.path().string() + "/stat");
    // "pid (name) state ppid ...": the name may hold blanks, so read after the last ")".
    const std::size_t Close = Stat.rfind(')');
    if (Close == std::string::npos || Close + 4 >= Stat.size()) {
      continue;
    }
    const char State = Stat[Close + 2];
    if (State == 'Z' && std::stol(Stat.substr(Close + 4)) == Parent) {
      ++Zombies;
    }
  }
  return Zombies;
}

// One engine, one fake service and one fake browser opener for the whole suite.
class GoogleSignIn : public TServiceSuite {
protected:
  static void SetUpTestSuite() {
    Opener_ = std::make_unique<TFakeOpener>();
    StartSuite({{"PATH", Opener_->SearchPath()}});
  }
  static void TearDownTestSuite() {
    TServiceSuite::TearDownTestSuite();
    Opener_.reset();
  }
  static std::string StartUrl() {
    return "http://127.0.0.1:" + std::to_string(Service_->Port()) + CallbackPart(Port());
  }

  static inline std::unique_ptr<TFakeOpener> Opener_;
};

TEST_F(GoogleSignIn, StartOpensTheStartUrlInTheBrowserAndLeavesNoZombie) {
  const THttpAnswer Started = Get(Port(), "/api/auth/google-start");

  EXPECT_EQ(Started.Status, 200);
  EXPECT_EQ(Started.Body, R"({"ok":true,"url":")" + StartUrl() + R"("})");
  EXPECT_EQ(Started.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Opener_->AwaitRun(), std::vector<std::string>{StartUrl()});
  EXPECT_TRUE(Service_->Requests().empty());

  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ZombieChildren(Velmora_->Pid()) > 0 && std::chrono::steady_clock::now() < Deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ZombieChildren(Velmora_->Pid()), 0);
}

TEST_F(GoogleSignIn, StartAnswersEvenWhenTheBrowserCannotRun) {
  Opener_->SetRunnable(false);
  const THttpAnswer Started = Get(Port(), "/api/auth/google-start");
  Opener_->SetRunnable(true);

  EXPECT_EQ(Started.Status, 200);
  EXPECT_EQ(Started.Body, R"({"ok":true,"url":")" + StartUrl() + R"("})");
}

TEST(GoogleStart, EscapesOnlyQuotesBackslashesAndControlsInTheUrl) {
  TFakeOpener Opener;
  TVelmoraOptions Options;
  Options.Env = {{"VLM_API_BASE", "https://h.example/a\"b\\c\td/\u00e9/API/v1/"}, {"PATH", Opener.SearchPath()}};
  TVelmoraProcess Velmora(Options);
  const std::string Url = "https://h.example/a\"b\\c\td/\u00e9" + CallbackPart(Velmora.Port());

  const THttpAnswer Started = Get(Velmora.Port(), "/api/auth/google-start");

  EXPECT_EQ(Started.Status, 200);
  EXPECT_EQ(Started.Body, R"({"ok":true,"url":"https://h.example/a\"b\\c\td/é)" + CallbackPart(Velmora.Port()) +
                              R"("})");
  EXPECT_EQ(Opener.AwaitRun(), std::vector<std::string>{Url});
}

TEST(GoogleStart, WithoutAnApiBaseOpensThePublicSite) {
  TFakeOpener Opener;
  TVelmoraOptions Options;
  Options.Env = {{"VLM_API_BASE", std::nullopt}, {"PATH", Opener.SearchPath()}};
  TVelmoraProcess Velmora(Options);
  const std::string Url = "https://velmora.app" + CallbackPart(Velmora.Port());

  EXPECT_EQ(Get(Velmora.Port(), "/api/auth/google-start").Body, R"({"ok":true,"url":")" + Url + R"("})");
  EXPECT_EQ(Opener.AwaitRun(), std::vector<std::string>{Url});
}

struct TCallbackFailureCase {
  const char* Name;
  const char* Query;
  std::optional<TScriptedAnswer> Me;  // none: /me must not be asked
};

void PrintTo(const TCallbackFailureCase& Case, std::ostream* Out) { *Out << Case.Name; }

class GoogleCallbackFailure : public GoogleSignIn, public ::testing::WithParamInterface<TCallbackFailureCase> {};

TEST_P(GoogleCallbackFailure, AnswersTheFailurePageAndKeepsTheSession) {
  const TCallbackFailureCase& Case = GetParam();
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-keep", KeptUser), 200);
  Service_->ClearRequests();
  // Where /me must not be asked, it would accept: a stray call shows as a sign-in.
  Service_->Script("GET", "/me", Case.Me.value_or(Answer(200, R"({"user":{"id":66}})")));

  const THttpAnswer Page = Get(Port(), std::string("/api/auth/google-callback") + Case.Query);

  EXPECT_EQ(Page.Status, 400);
  EXPECT_EQ(Page.Body, GoogleFailurePage);
  EXPECT_EQ(Page.Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(Page.Header("Cache-Control"), std::nullopt);
  const std::vector<TRecordedRequest> Requests = Service_->Requests();
  if (Case.Me) {
    ASSERT_EQ(Requests.size(), 1u);
    EXPECT_EQ(Requests[0].Method, "GET");
    EXPECT_EQ(Requests[0].Path, "/me");
    EXPECT_EQ(Requests[0].Header("Authorization"), "Bearer tok-offered");
  } else {
    EXPECT_TRUE(Requests.empty());
  }
  EXPECT_EQ(Stored("auth_token"), "tok-keep");
  ASSERT_TRUE(Stored("user_json"));
  EXPECT_EQ(json::parse(*Stored("user_json")), json::parse(KeptUser));
}

INSTANTIATE_TEST_SUITE_P(
    Google, GoogleCallbackFailure,
    ::testing::Values(
        TCallbackFailureCase{"NoQuery", "", std::nullopt},
        TCallbackFailureCase{"OtherParameter", "?tok=tok-offered", std::nullopt},
        TCallbackFailureCase{"EmptyToken", "?token=", std::nullopt},
        TCallbackFailureCase{"BlankToken", "?token=%20", std::nullopt},
        TCallbackFailureCase{"BlanksAndTab", "?token=+%09+", std::nullopt},
        TCallbackFailureCase{"LineBreakInToken", "?token=tok%0D%0AX-Injected:%201", std::nullopt},
        TCallbackFailureCase{"Rejected", "?token=tok-offered", Answer(401, R"({"error":"Unauthenticated."})")},
        TCallbackFailureCase{"ServerError", "?token=tok-offered", Answer(500, R"({"user":{"id":2}})")},
        TCallbackFailureCase{"CreatedIsNotOk", "?token=tok-offered", Answer(201, R"({"user":{"id":2}})")},
        TCallbackFailureCase{"ArrayBody", "?token=tok-offered", Answer(200, R"([{"user":{"id":2}}])")},
        TCallbackFailureCase{"BrokenJson", "?token=tok-offered", Answer(200, R"({"user":{"id":2})")},
        TCallbackFailureCase{"HtmlBody", "?token=tok-offered", Answer(200, "<html>Welcome</html>", "text/html")}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(GoogleSignIn, ConfirmedTokenSignsInAndAnswersTheSuccessPage) {
  Service_->Script("GET", "/me", Answer(200, R"({"user":{"id":9,"name":"Gia"},"plan":"free"})"));

  const THttpAnswer Page = Get(Port(), "/api/auth/google-callback?state=x&token=%20tok-g%09");

  EXPECT_EQ(Page.Status, 200);
  EXPECT_EQ(Page.Body, GoogleSuccessPage);
  EXPECT_EQ(Page.Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(Page.Header("Connection"), "close");
  EXPECT_EQ(Page.Header("Cache-Control"), std::nullopt);
  ASSERT_EQ(Service_->Requests().size(), 1u);
  EXPECT_EQ(Service_->Requests()[0].Header("Authorization"), "Bearer tok-g");
  EXPECT_EQ(Stored("auth_token"), "tok-g");
  const json Session = SessionOf(Port());
  EXPECT_EQ(Session["authenticated"], true);
  EXPECT_EQ(Session["user"], json::parse(R"({"id":9,"name":"Gia"})"));
}

class GoogleCallbackWithoutUser : public GoogleSignIn, public ::testing::WithParamInterface<const char*> {};

TEST_P(GoogleCallbackWithoutUser, StoresTheTokenAndKeepsTheEarlierUser) {
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-old", KeptUser), 200);
  Service_->Script("GET", "/me", Answer(200, GetParam()));

  const THttpAnswer Page = Get(Port(), "/api/auth/google-callback?token=tok-new");

  EXPECT_EQ(Page.Status, 200);
  EXPECT_EQ(Page.Body, GoogleSuccessPage);
  EXPECT_EQ(Stored("auth_token"), "tok-new");
  EXPECT_EQ(SessionOf(Port())["user"], json::parse(KeptUser));
}

INSTANTIATE_TEST_SUITE_P(Google, GoogleCallbackWithoutUser,
                         ::testing::Values(R"({"id":5})", R"({"user":null})", R"({"user":["Gia"]})",
                                           R"({"user":"Gia"})"));

} // namespace
} // namespace NVelmora::NTest
