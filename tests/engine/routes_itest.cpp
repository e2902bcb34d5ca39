#include "tests/support/http_client.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <strings.h>

namespace NVelmora::NTest {
namespace {

constexpr const char* Health = R"({"ok":true,"app":"Velmora","version":"1.0.0"})";
constexpr const char* NotFound = R"({"ok":false,"error":"Route not found."})";

// The JSON headers, and nothing else but the length.
void ExpectJsonHeaders(const THttpAnswer& Answer) {
  EXPECT_EQ(Answer.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Answer.Header("Connection"), "close");
  EXPECT_EQ(Answer.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(Answer.Header("Content-Length"), std::to_string(Answer.Body.size()));
  EXPECT_EQ(Answer.Headers.size(), 4u) << Answer.Raw;
}

struct TRouteCase {
  const char* Name;
  const char* Method;
  const char* Target;
  int Status;
  const char* Body;
};

class RouteTable : public ::testing::TestWithParam<TRouteCase> {
protected:
  static void SetUpTestSuite() { Velmora = std::make_unique<TVelmoraProcess>(); }
  static void TearDownTestSuite() { Velmora.reset(); }
  static inline std::unique_ptr<TVelmoraProcess> Velmora;
};

TEST_P(RouteTable, ComparesMethodAndRawPathExactly) {
  ASSERT_NE(Velmora->Port(), 0);
  TRequestSpec Spec;
  Spec.Method = GetParam().Method;
  Spec.Target = GetParam().Target;
  const THttpAnswer Answer = Send(Velmora->Port(), Spec);
  EXPECT_EQ(Answer.Status, GetParam().Status) << Answer.Raw;
  EXPECT_EQ(Answer.Body, GetParam().Body);
  ExpectJsonHeaders(Answer);
}

INSTANTIATE_TEST_SUITE_P(Engine, RouteTable, ::testing::Values(
    TRouteCase{"Health", "GET", "/api/health", 200, Health},
    TRouteCase{"HealthWithQuery", "GET", "/api/health?x=1", 200, Health},
    TRouteCase{"HealthEmptyQuery", "GET", "/api/health?", 200, Health},
    TRouteCase{"LowerCaseMethod", "get", "/api/health", 404, NotFound},
    TRouteCase{"PostToHealth", "POST", "/api/health", 404, NotFound},
    TRouteCase{"Head", "HEAD", "/api/health", 404, NotFound},
    TRouteCase{"Options", "OPTIONS", "/api/health", 404, NotFound},
    TRouteCase{"PercentEscape", "GET", "/api/%68ealth", 404, NotFound},
    TRouteCase{"TrailingSlash", "GET", "/api/health/", 404, NotFound},
    TRouteCase{"UpperCasePath", "GET", "/API/HEALTH", 404, NotFound},
    TRouteCase{"AbsoluteForm", "GET", "http://127.0.0.1/api/health", 404, NotFound},
    TRouteCase{"ContentRootWithoutSlash", "GET", "/api/v1", 404, NotFound},
    TRouteCase{"PostRouteWithGet", "GET", "/api/saved-jobs/toggle", 404, NotFound},
    TRouteCase{"HeadOfPage", "HEAD", "/index.html", 404, NotFound},
    TRouteCase{"NearPageName", "GET", "/index.htm", 404, NotFound},
    TRouteCase{"PageNameUpperCase", "GET", "/INDEX.HTML", 404, NotFound},
    TRouteCase{"UiFolderPath", "GET", "/ui/index.html", 404, NotFound},
    TRouteCase{"Favicon", "GET", "/favicon.ico", 404, NotFound},
    TRouteCase{"OtherFile", "GET", "/app.js", 404, NotFound},
    TRouteCase{"DotSegments", "GET", "/fonts/../index.html", 404, NotFound},
    TRouteCase{"AssetWithPost", "POST", "/app-icon.png", 404, NotFound}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
} // namespace NVelmora::NTest
