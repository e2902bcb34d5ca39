#include "tests/support/http_client.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

namespace NVelmora::NTest {
namespace {

TEST(EngineSmoke, AnswersHealthWithTheJsonHeaders) {
  TVelmoraProcess Velmora;
  ASSERT_NE(Velmora.Port(), 0);
  const THttpAnswer Answer = Get(Velmora.Port(), "/api/health");
  EXPECT_EQ(Answer.Status, 200);
  EXPECT_EQ(Answer.Body, R"({"ok":true,"app":"Velmora","version":"1.0.0"})");
  EXPECT_EQ(Answer.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Answer.Header("Connection"), "close");
  EXPECT_EQ(Answer.Header("Cache-Control"), "no-cache");
}

} // namespace
} // namespace NVelmora::NTest
