#include "tests/support/fake_service.h"
#include "tests/support/http_client.h"
#include "tests/support/remote_harness.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <ostream>
#include <thread>

namespace NVelmora::NTest {
namespace {

using nlohmann::json;

// A body no earlier answer had, so a test sees which answer it got.
std::string FreshBody(const std::string& Page) {
  static int Serial = 0;
  return R"([{"page":")" + Page + R"(","serial":)" + std::to_string(++Serial) + "}]";
}

// Cache entries outlive the tests, so each test writes the entries it relies on.
class ContentProxy : public TServiceSuite {
protected:
  static void SetUpTestSuite() { StartSuite(); }

  // Fills the cache entry of a page through a 200 answer and gives the cached text.
  static std::string Fill(const std::string& Page) {
    const std::string Body = FreshBody(Page);
    Service_->Script("GET", Page, Answer(200, Body));
    const THttpAnswer Got = Get(Port(), "/api/v1" + Page);
    EXPECT_EQ(Got.Status, 200);
    EXPECT_EQ(Got.Body, Body);
    return Body;
  }

};

struct TPageCase {
  const char* Page;
  const char* Key;
};

void PrintTo(const TPageCase& Case, std::ostream* Out) { *Out << Case.Page; }

class CachedPage : public ContentProxy, public ::testing::WithParamInterface<TPageCase> {};

TEST_P(CachedPage, KeepsTheLastGoodAnswerAndServesItWhenTheServiceFails) {
  const std::string Body = Fill(GetParam().Page);
  EXPECT_EQ(Stored(GetParam().Key), Body);

  Service_->Script("GET", GetParam().Page, Answer(503, "<html><h1>Maintenance</h1></html>", "text/html"));
  const THttpAnswer Fallback = Get(Port(), std::string("/api/v1") + GetParam().Page);
  EXPECT_EQ(Fallback.Status, 200);
  EXPECT_EQ(Fallback.Body, Body);
  EXPECT_EQ(Fallback.Header("Content-Type"), "application/json; charset=utf-8");
}

INSTANTIATE_TEST_SUITE_P(SixPages, CachedPage,
                         ::testing::Values(TPageCase{"/home", "cache_home"}, TPageCase{"/jobs", "cache_jobs"},
                                           TPageCase{"/blog", "cache_blog"},
                                           TPageCase{"/community", "cache_community"},
                                           TPageCase{"/scam-alerts", "cache_scams"},
                                           TPageCase{"/courses", "cache_courses"}),
                         [](const auto& Info) { return std::string(Info.param.Key); });

struct TUncachedCase {
  const char* Name;
  const char* Method;
  const char* Target;      // local
  const char* RemotePath;  // as the service sees it
  const char* Query;
  const char* Body;
};

void PrintTo(const TUncachedCase& Case, std::ostream* Out) { *Out << Case.Name; }

class UncachedRequest : public ContentProxy, public ::testing::WithParamInterface<TUncachedCase> {};

TEST_P(UncachedRequest, IsForwardedButNeitherWritesNorReadsTheCache) {
  const TUncachedCase& Case = GetParam();
  const std::string Cached = Fill("/jobs");
  const std::string Fresh = FreshBody(Case.Target);
  Service_->Script(Case.Method, Case.RemotePath, Answer(200, Fresh));
  Service_->ClearRequests();

  const THttpAnswer Forwarded = Send(Port(), TRequestSpec{Case.Method, Case.Target, Case.Body, {}, true});

  EXPECT_EQ(Forwarded.Status, 200);
  EXPECT_EQ(Forwarded.Body, Fresh);
  ASSERT_EQ(Service_->Requests().size(), 1u);
  EXPECT_EQ(Service_->Requests()[0].Method, Case.Method);
  EXPECT_EQ(Service_->Requests()[0].Path, Case.RemotePath);
  EXPECT_EQ(Service_->Requests()[0].Query, Case.Query);
  EXPECT_EQ(Stored("cache_jobs"), Cached);

  Service_->Script(Case.Method, Case.RemotePath, Answer(502, "<html>Bad gateway</html>", "text/html"));
  const THttpAnswer Failed = Send(Port(), TRequestSpec{Case.Method, Case.Target, Case.Body, {}, true});
  EXPECT_EQ(Failed.Status, 503);
  EXPECT_EQ(Failed.Body, OfflineAnswer);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, UncachedRequest,
    ::testing::Values(TUncachedCase{"Query", "GET", "/api/v1/jobs?page=2&q=a%20b+c", "/jobs", "page=2&q=a%20b+c", ""},
                      TUncachedCase{"TrailingSlash", "GET", "/api/v1/jobs/", "/jobs/", "", ""},
                      TUncachedCase{"SubPath", "GET", "/api/v1/jobs/abc", "/jobs/abc", "", ""},
                      TUncachedCase{"OtherCase", "GET", "/api/v1/Jobs", "/Jobs", "", ""},
                      TUncachedCase{"Post", "POST", "/api/v1/jobs", "/jobs", "", R"({"q":"nurse"})"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

struct TUnusableCase {
  const char* Name;
  int Status;
  const char* Body;
  const char* ContentType;
};

void PrintTo(const TUnusableCase& Case, std::ostream* Out) { *Out << Case.Name; }

class UnusableAnswer : public ContentProxy, public ::testing::WithParamInterface<TUnusableCase> {};

TEST_P(UnusableAnswer, GivesTheCachedCopyOrTheOfflineAnswer) {
  const TUnusableCase& Case = GetParam();
  const std::string Cached = Fill("/home");
  Service_->Script("GET", "/home", Answer(Case.Status, Case.Body, Case.ContentType));

  const THttpAnswer FromCache = Get(Port(), "/api/v1/home");
  EXPECT_EQ(FromCache.Status, 200);
  EXPECT_EQ(FromCache.Body, Cached);
  EXPECT_EQ(Stored("cache_home"), Cached);

  // Same answer for a request that may not use the cache.
  const THttpAnswer Offline = Get(Port(), "/api/v1/home?lang=en");
  EXPECT_EQ(Offline.Status, 503);
  EXPECT_EQ(Offline.Body, OfflineAnswer);
  EXPECT_EQ(Offline.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Offline.Header("Cache-Control"), "no-cache");
}

INSTANTIATE_TEST_SUITE_P(Home, UnusableAnswer,
                         ::testing::Values(TUnusableCase{"HtmlError", 503, "<html>Down</html>", "text/html"},
                                           TUnusableCase{"HtmlSuccess", 200, "<!doctype html><p>hi</p>", "text/html"},
                                           TUnusableCase{"Empty", 200, "", "application/json"},
                                           TUnusableCase{"OnlyBlanks", 200, " \r\n\t ", "application/json"},
                                           TUnusableCase{"JsonNull", 200, "null", "application/json"},
                                           TUnusableCase{"PlainText", 404, "Not Found", "text/plain"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

struct TPassThroughCase {
  const char* Name;
  int Status;
  const char* Body;
};

void PrintTo(const TPassThroughCase& Case, std::ostream* Out) { *Out << Case.Name; }

class JsonAnswer : public ContentProxy, public ::testing::WithParamInterface<TPassThroughCase> {};

TEST_P(JsonAnswer, IsPassedThroughWithItsStatusLeavingCacheAndSessionAlone) {
  const TPassThroughCase& Case = GetParam();
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-j", R"({"id":4})"), 200);
  const std::string Cached = Fill("/home");
  Service_->Script("GET", "/home", Answer(Case.Status, Case.Body));

  const THttpAnswer Got = Get(Port(), "/api/v1/home");

  EXPECT_EQ(Got.Status, Case.Status);
  EXPECT_EQ(Got.Body, Case.Body);
  EXPECT_EQ(Stored("cache_home"), Cached);
  EXPECT_EQ(Stored("auth_token"), "tok-j");
}

INSTANTIATE_TEST_SUITE_P(Home, JsonAnswer,
                         ::testing::Values(TPassThroughCase{"NotFound", 404, R"({"error":"Not found."})"},
                                           TPassThroughCase{"ServerError", 500, R"({"error":"Server error."})"},
                                           TPassThroughCase{"Unavailable", 503, R"({"maintenance":true})"},
                                           TPassThroughCase{"Forbidden", 403, R"(["forbidden"])"},
                                           TPassThroughCase{"Created", 201, R"({"created":true})"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ContentProxy, RejectedTokenInAJsonAnswerSignsTheUserOut) {
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-r", R"({"id":5})"), 200);

  // An HTML 401 is no answer from the service's API: it changes nothing.
  Service_->Script("GET", "/jobs/9", Answer(401, "<html>401 Authorization Required</html>", "text/html"));
  const THttpAnswer Html = Get(Port(), "/api/v1/jobs/9");
  EXPECT_EQ(Html.Status, 503);
  EXPECT_EQ(Html.Body, OfflineAnswer);
  EXPECT_EQ(Stored("auth_token"), "tok-r");

  Service_->Script("GET", "/jobs/9", Answer(401, R"({"message":"Unauthenticated."})"));
  const THttpAnswer Rejected = Get(Port(), "/api/v1/jobs/9");
  EXPECT_EQ(Rejected.Status, 401);
  EXPECT_EQ(Rejected.Body, R"({"message":"Unauthenticated."})");
  EXPECT_EQ(Service_->Requests().back().Header("Authorization"), "Bearer tok-r");
  EXPECT_EQ(Stored("auth_token"), std::nullopt);
  EXPECT_EQ(Stored("user_json"), std::nullopt);
  const json Session = SessionOf(Port());
  EXPECT_EQ(Session["authenticated"], false);
  EXPECT_EQ(Session["user"], nullptr);
}

TEST_F(ContentProxy, RefusalOfAnOlderTokenLeavesANewerSignInAlone) {
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-old", R"({"id":8})"), 200);
  Service_->ClearRequests();
  TScriptedAnswer Slow = Answer(401, R"({"message":"Unauthenticated."})");
  Slow.Delay = std::chrono::milliseconds(1500);
  Service_->Script("GET", "/jobs/7", Slow);

  std::future<THttpAnswer> Refused = std::async(std::launch::async, [] { return Get(Port(), "/api/v1/jobs/7"); });
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Service_->Requests().empty() && std::chrono::steady_clock::now() < Deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(Service_->Requests().size(), 1u);
  EXPECT_EQ(Service_->Requests()[0].Header("Authorization"), "Bearer tok-old");
  // Signed in again while the service is still answering for the old token.
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-new", R"({"id":9})"), 200);

  EXPECT_EQ(Refused.get().Status, 401);
  EXPECT_EQ(Stored("auth_token"), "tok-new");
  EXPECT_EQ(SessionOf(Port())["user"], json::parse(R"({"id":9})"));
}

TEST_F(ContentProxy, SendsTheBearerTokenOnlyWhileSignedIn) {
  Service_->Script("GET", "/community", Answer(200, R"({"posts":[]})"));

  ASSERT_EQ(Get(Port(), "/api/v1/community").Status, 200);
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), " tok-c ", R"({"id":6})"), 200);
  ASSERT_EQ(Get(Port(), "/api/v1/community").Status, 200);

  const std::vector<TRecordedRequest> Requests = Service_->Requests();
  ASSERT_EQ(Requests.size(), 3u);
  EXPECT_EQ(Requests[0].Header("Authorization"), std::nullopt);
  EXPECT_EQ(Requests[2].Header("Authorization"), "Bearer tok-c");
}

struct TMethodCase {
  const char* Method;
  const char* Target;
  const char* RemotePath;
  const char* Body;
};

void PrintTo(const TMethodCase& Case, std::ostream* Out) { *Out << Case.Method << " " << Case.Target; }

class ForwardedRequest : public ContentProxy, public ::testing::WithParamInterface<TMethodCase> {};

TEST_P(ForwardedRequest, KeepsItsMethodAndBody) {
  const TMethodCase& Case = GetParam();
  ASSERT_EQ(SignInThroughLogin(*Service_, Port(), "tok-m", ""), 200);
  Service_->ClearRequests();
  Service_->Script(Case.Method, Case.RemotePath, Answer(201, R"({"id":12})"));

  const THttpAnswer Got = Send(Port(), TRequestSpec{Case.Method, Case.Target, Case.Body, {}, true});

  EXPECT_EQ(Got.Status, 201);
  EXPECT_EQ(Got.Body, R"({"id":12})");
  const std::vector<TRecordedRequest> Requests = Service_->Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Method, Case.Method);
  EXPECT_EQ(Requests[0].Path, Case.RemotePath);
  EXPECT_EQ(Requests[0].Body, Case.Body);
  EXPECT_EQ(Requests[0].Header("Authorization"), "Bearer tok-m");
  if (*Case.Body != '\0') {
    EXPECT_EQ(Requests[0].Header("Content-Type"), "application/json");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Community, ForwardedRequest,
    ::testing::Values(TMethodCase{"POST", "/api/v1/community", "/community", "{\"title\":\"Hello\",\"body\":\"a\\nb \xc3\xa4\"}"},
                      TMethodCase{"PUT", "/api/v1/community/5", "/community/5", R"({"title":"Edited"})"},
                      TMethodCase{"DELETE", "/api/v1/community/5", "/community/5", ""}));

// Losing the network after a session: the six pages, the saved jobs and the notes stay.
TEST(ContentProxyOffline, ServesTheCachedPagesAfterSignOutWithoutTheService) {
  TFakeService Service;
  TVelmoraOptions Options;
  Options.Env = {{"VLM_API_BASE", Service.ApiBase()}};
  TVelmoraProcess Velmora(Options);
  const std::uint16_t Port = Velmora.Port();
  ASSERT_EQ(SignInThroughLogin(Service, Port, "tok-o", R"({"id":7})"), 200);
  const std::vector<std::string> Pages = {"/home", "/jobs", "/blog", "/community", "/scam-alerts", "/courses"};
  std::vector<std::string> Bodies;
  for (const std::string& Page : Pages) {
    Bodies.push_back(FreshBody(Page));
    Service.Script("GET", Page, Answer(200, Bodies.back()));
    ASSERT_EQ(Get(Port, "/api/v1" + Page).Status, 200);
  }
  ASSERT_EQ(Post(Port, "/api/saved-jobs/toggle", R"({"slug":"nurse-1","title":"Nurse"})").Status, 200);
  ASSERT_EQ(Post(Port, "/api/offline-notes", R"({"title":"Call back"})").Status, 200);
  ASSERT_EQ(Post(Port, "/api/auth/logout", "").Status, 200);
  Service.Stop();

  for (std::size_t I = 0; I < Pages.size(); ++I) {
    const THttpAnswer Got = Get(Port, "/api/v1" + Pages[I]);
    EXPECT_EQ(Got.Status, 200) << Pages[I];
    EXPECT_EQ(Got.Body, Bodies[I]) << Pages[I];
  }
  for (const char* Target : {"/api/v1/jobs?page=2", "/api/v1/jobs/nurse-1"}) {
    const THttpAnswer Got = Get(Port, Target);
    EXPECT_EQ(Got.Status, 503) << Target;
    EXPECT_EQ(Got.Body, OfflineAnswer) << Target;
  }
  const json Session = SessionOf(Port);
  EXPECT_EQ(Session["authenticated"], false);
  ASSERT_EQ(Session["saved_jobs"].size(), 1u);
  EXPECT_EQ(Session["saved_jobs"][0]["slug"], "nurse-1");
  ASSERT_EQ(Session["offline_notes"].size(), 1u);
  EXPECT_EQ(Session["offline_notes"][0]["title"], "Call back");
}

} // namespace
} // namespace NVelmora::NTest
