#include "tests/support/fake_service.h"
#include "tests/support/http_client.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

namespace NVelmora::NTest {
namespace {

TEST(FakeService, ServesContentThroughTheEngineAndRecordsTheRequest) {
  TFakeService Service;
  Service.Script("GET", "/jobs", {200, R"([{"slug":"a"}])"});
  TVelmoraProcess Velmora(AgainstService(Service.ApiBase()));
  const THttpAnswer Answer = Get(Velmora.Port(), "/api/v1/jobs");
  EXPECT_EQ(Answer.Status, 200);
  EXPECT_EQ(Answer.Body, R"([{"slug":"a"}])");
  ASSERT_EQ(Service.Requests().size(), 1u);
  EXPECT_EQ(Service.Requests()[0].Path, "/jobs");
  EXPECT_EQ(Service.Requests()[0].Header("X-Vlm-Platform"), "linux");
}

} // namespace
} // namespace NVelmora::NTest
