#include "engine/uapi.h"
#include "tests/support/fake_service.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace NVelmora::NTest {
namespace {

// The real curl against a scripted service on 127.0.0.1.
class TransportService : public ::testing::Test {
protected:
  TransportService() {
    Engine.ApiBase = Service.ApiBase();
    Engine.DeviceId = "lin_abc_user";
    Engine.DevicePlatform = "linux";
    Engine.DeviceModel = "Linux Desktop (box)";
  }

  bool NoRequestFileLeft() const {
    for (const auto& Entry : std::filesystem::directory_iterator(Dir.Path() + "data")) {
      if (Entry.path().filename().string().rfind("req_", 0) == 0) {
        return false;
      }
    }
    return true;
  }

  TFakeService Service;
  TTempDir Dir;
  TVelmoraApiServer Engine{Dir.Path(), 19029};
  std::string Body;
  int Status = 0;
};

TEST_F(TransportService, PostsTheBodyWithEveryHeaderAndReadsA201) {
  Service.Script("POST", "/auth/login", {201, R"({"token":"t-1","user":{"id":3}})"});
  const std::string Sent = "{\"email\":\"a@b.c\",\r\n \"password\":\"p\xc3\xa4ss\"}";
  EXPECT_TRUE(Engine.RemoteRequest("post", Service.ApiBase() + "/auth/login", Sent, "  tok-9 ", Body, Status));
  EXPECT_EQ(Status, 201);
  EXPECT_EQ(Body, R"({"token":"t-1","user":{"id":3}})");
  EXPECT_TRUE(NoRequestFileLeft());

  const std::vector<TRecordedRequest> Requests = Service.Requests();
  ASSERT_EQ(Requests.size(), 1u);
  const TRecordedRequest& Got = Requests[0];
  EXPECT_EQ(Got.Method, "POST");
  EXPECT_EQ(Got.Body, Sent);
  EXPECT_EQ(Got.Header("Accept"), "application/json");
  EXPECT_EQ(Got.Header("User-Agent"), "VelmoraDesktop/1.0");
  EXPECT_EQ(Got.Header("X-Vlm-Device-Id"), "lin_abc_user");
  EXPECT_EQ(Got.Header("X-Vlm-Platform"), "linux");
  EXPECT_EQ(Got.Header("X-Vlm-App-Version"), "1.0.0");
  EXPECT_EQ(Got.Header("X-Vlm-Device-Model"), "Linux Desktop (box)");
  EXPECT_EQ(Got.Header("Authorization"), "Bearer tok-9");
  EXPECT_EQ(Got.Header("Content-Type"), "application/json");
}

TEST_F(TransportService, ErrorStatusesAreReached) {
  Service.Script("GET", "/server-error", {500, "<html>down</html>", "text/html"});
  for (const auto& [Path, Expected, Text] : {std::tuple{"/not-scripted", 404, R"({"error":"not scripted"})"},
                                             std::tuple{"/server-error", 500, "<html>down</html>"}}) {
    EXPECT_TRUE(Engine.RemoteRequest("GET", Service.ApiBase() + Path, "", "", Body, Status)) << Path;
    EXPECT_EQ(Status, Expected);
    EXPECT_EQ(Body, Text);
  }
}

TEST_F(TransportService, SendsPathAndQueryUnchanged) {
  Service.Script("GET", "/jobs", {200, "[]"});
  const std::string Query = "filter[city]=Berlin&tags={a,b}&q=%5Bx%5D&sort=-date";
  EXPECT_TRUE(Engine.RemoteRequest("GET", Service.ApiBase() + "/jobs?" + Query, "", "", Body, Status));
  EXPECT_EQ(Status, 200);
  const std::vector<TRecordedRequest> Requests = Service.Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Path, "/jobs");
  EXPECT_EQ(Requests[0].Query, Query);
  EXPECT_EQ(Requests[0].Header("Authorization"), std::nullopt);
  EXPECT_EQ(Requests[0].Header("Content-Type"), std::nullopt);
}

TEST_F(TransportService, ConcurrentCallsNeverShareARequestFile) {
  Service.Script("POST", "/echo", {200, "{}"});
  constexpr int Threads = 8;
  std::vector<std::thread> Workers;
  std::vector<int> Reached(Threads, 0);
  for (int T = 0; T < Threads; ++T) {
    Workers.emplace_back([&, T] {
      std::string Answer;
      int Code = 0;
      const std::string Sent = R"({"n":)" + std::to_string(T) + "," + std::string(20000 + T, 'x') + "}";
      Reached[T] = Engine.RemoteRequest("POST", Service.ApiBase() + "/echo", Sent, "", Answer, Code) ? 1 : 0;
    });
  }
  for (std::thread& Worker : Workers) {
    Worker.join();
  }
  EXPECT_EQ(Reached, std::vector<int>(Threads, 1));
  std::set<std::string> Bodies;
  for (const TRecordedRequest& Got : Service.Requests()) {
    Bodies.insert(Got.Body);
  }
  ASSERT_EQ(Bodies.size(), std::size_t{Threads});
  for (int T = 0; T < Threads; ++T) {
    EXPECT_EQ(Bodies.count(R"({"n":)" + std::to_string(T) + "," + std::string(20000 + T, 'x') + "}"), 1u) << T;
  }
  EXPECT_TRUE(NoRequestFileLeft());
}

TEST_F(TransportService, AServiceThatIsDownIsNotReached) {
  Service.Stop();
  EXPECT_FALSE(Engine.RemoteRequest("POST", Service.ApiBase() + "/auth/login", "{}", "", Body, Status));
  EXPECT_EQ(Status, 0);
  EXPECT_TRUE(NoRequestFileLeft());
}

} // namespace
} // namespace NVelmora::NTest
