#include "tests/support/http_client.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;

constexpr const char* Health = R"({"ok":true,"app":"Velmora","version":"1.0.0"})";
constexpr const char* Forbidden = R"({"ok":false,"error":"Forbidden."})";

class RequestGuards : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Velmora = std::make_unique<TVelmoraProcess>(); }
  static void TearDownTestSuite() { Velmora.reset(); }
  static std::uint16_t Port() { return Velmora->Port(); }

  static inline std::unique_ptr<TVelmoraProcess> Velmora;
};

std::string WithPort(std::string Text, std::uint16_t Port) {
  if (const std::size_t At = Text.find("{port}"); At != std::string::npos) {
    Text.replace(At, 6, std::to_string(Port));
  }
  return Text;
}

struct TGuardCase {
  const char* Name;
  const char* Host;    // nullptr: no Host header
  const char* Origin;  // nullptr: no Origin header
  bool Served;
};

class HostAndOrigin : public RequestGuards, public ::testing::WithParamInterface<TGuardCase> {};

TEST_P(HostAndOrigin, ServesLoopbackNamesAndOwnOriginsOnly) {
  ASSERT_NE(Port(), 0);
  TRequestSpec Spec;
  Spec.Target = "/api/health";
  Spec.SendHost = false;
  if (GetParam().Host) {
    Spec.Headers.emplace_back("Host", WithPort(GetParam().Host, Port()));
  }
  if (GetParam().Origin) {
    Spec.Headers.emplace_back("Origin", WithPort(GetParam().Origin, Port()));
  }
  const THttpAnswer Answer = Send(Port(), Spec);
  EXPECT_EQ(Answer.Status, GetParam().Served ? 200 : 403) << Answer.Raw;
  EXPECT_EQ(Answer.Body, GetParam().Served ? Health : Forbidden);
  EXPECT_EQ(Answer.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Answer.Header("Connection"), "close");
  EXPECT_EQ(Answer.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(Answer.Header("Access-Control-Allow-Origin"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Engine, HostAndOrigin, ::testing::Values(
    TGuardCase{"LoopbackAddress", "127.0.0.1:{port}", nullptr, true},
    TGuardCase{"LoopbackWithoutPort", "127.0.0.1", nullptr, true},
    TGuardCase{"Localhost", "localhost:{port}", nullptr, true},
    TGuardCase{"LocalhostCapitals", "LocalHost", nullptr, true},
    TGuardCase{"Ipv6Loopback", "[::1]:{port}", nullptr, true},
    TGuardCase{"Ipv6LoopbackWithoutPort", "[::1]", nullptr, true},
    TGuardCase{"NoHost", nullptr, nullptr, true},
    TGuardCase{"ForeignHost", "evil.example", nullptr, false},
    TGuardCase{"ForeignHostOnOurPort", "evil.example:{port}", nullptr, false},
    TGuardCase{"LoopbackAsSubdomain", "127.0.0.1.evil.example", nullptr, false},
    TGuardCase{"LocalhostAsSubdomain", "localhost.evil.example:{port}", nullptr, false},
    TGuardCase{"OtherLoopbackAddress", "127.0.0.2:{port}", nullptr, false},
    TGuardCase{"Ipv6WithJunk", "[::1]x", nullptr, false},
    TGuardCase{"OwnOrigin", "127.0.0.1:{port}", "http://127.0.0.1:{port}", true},
    TGuardCase{"OwnOriginByName", "localhost:{port}", "http://localhost:{port}", true},
    TGuardCase{"OriginWithoutHost", nullptr, "http://127.0.0.1:{port}", true},
    TGuardCase{"ForeignOrigin", "127.0.0.1:{port}", "http://evil.example", false},
    TGuardCase{"NullOrigin", "127.0.0.1:{port}", "null", false},
    TGuardCase{"OriginOtherPort", "127.0.0.1:{port}", "http://127.0.0.1:1", false},
    TGuardCase{"OriginWithoutPort", "127.0.0.1:{port}", "http://127.0.0.1", false},
    TGuardCase{"OriginHttps", "127.0.0.1:{port}", "https://127.0.0.1:{port}", false},
    TGuardCase{"OriginWithPath", "127.0.0.1:{port}", "http://127.0.0.1:{port}/", false},
    TGuardCase{"EmptyOrigin", "127.0.0.1:{port}", "", false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(RequestGuards, AForeignOriginIsRefusedBeforeAnyRouteRuns) {
  for (const char* Target : {"/", "/api/v1/jobs", "/api/auth/logout", "/no-such-route"}) {
    SCOPED_TRACE(Target);
    TRequestSpec Spec;
    Spec.Method = "POST";
    Spec.Target = Target;
    Spec.Headers.emplace_back("Origin", "http://evil.example");
    const THttpAnswer Answer = Send(Port(), Spec);
    EXPECT_EQ(Answer.Status, 403);
    EXPECT_EQ(Answer.Body, Forbidden);
  }
}

int ConnectTo(const char* Address, std::uint16_t Port) {
  const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in To{};
  To.sin_family = AF_INET;
  To.sin_port = htons(Port);
  ::inet_pton(AF_INET, Address, &To.sin_addr);
  if (::connect(Fd, reinterpret_cast<const sockaddr*>(&To), sizeof To) != 0) {
    ::close(Fd);
    return -1;
  }
  return Fd;
}

// 127.0.0.2 reaches this machine as well, but only a listener on the wildcard address
// would take it: the engine is bound to 127.0.0.1 alone.
TEST_F(RequestGuards, ListensOnTheLoopbackAddressOnly) {
  ASSERT_TRUE(IsListening(Port()));
  const int Other = ConnectTo("127.0.0.2", Port());
  if (Other >= 0) {
    ::close(Other);
  }
  EXPECT_LT(Other, 0) << "the engine accepts connections on another address";
}

TEST_F(RequestGuards, ADeclaredBodyOverTheLimitIsRefusedWithoutReadingIt) {
  const auto Started = std::chrono::steady_clock::now();
  const THttpAnswer Answer = ParseAnswer(SendRaw(
      Port(), "POST /api/offline-notes HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 16777217\r\n\r\n", 10000));
  EXPECT_LT(std::chrono::steady_clock::now() - Started, 5s) << "the engine waited for the body";
  EXPECT_EQ(Answer.Status, 413) << Answer.Raw;
  EXPECT_EQ(Answer.Body, R"({"ok":false,"error":"Request too large."})");
  EXPECT_EQ(Answer.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Answer.Header("Connection"), "close");
  EXPECT_EQ(Answer.Header("Cache-Control"), "no-cache");
}

TEST_F(RequestGuards, ABodyOfExactlyTheLimitIsRead) {
  TRequestSpec Spec;
  Spec.Method = "POST";
  Spec.Target = "/api/health";
  Spec.Body.assign(16u << 20, 'x');
  const THttpAnswer Answer = Send(Port(), Spec);
  EXPECT_EQ(Answer.Status, 404) << Answer.Raw.substr(0, 300);
  EXPECT_EQ(Answer.Body, R"({"ok":false,"error":"Route not found."})");
}

// One deadline covers the whole request: trickling a byte at a time does not extend it.
TEST_F(RequestGuards, ARequestNotCompleteWithinFifteenSecondsIsClosed) {
  const int Fd = ConnectTo("127.0.0.1", Port());
  ASSERT_GE(Fd, 0);
  const auto Started = std::chrono::steady_clock::now();
  const std::string Head = "GET /api/health HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
  ASSERT_EQ(::send(Fd, Head.data(), Head.size(), MSG_NOSIGNAL), static_cast<ssize_t>(Head.size()));

  std::string Received;
  bool Closed = false;
  while (!Closed && std::chrono::steady_clock::now() - Started < 25s) {
    pollfd Poll{Fd, POLLIN, 0};
    if (::poll(&Poll, 1, 500) > 0) {
      char Chunk[1024];
      const ssize_t Got = ::recv(Fd, Chunk, sizeof Chunk, 0);
      if (Got > 0) {
        Received.append(Chunk, static_cast<std::size_t>(Got));
      } else {
        Closed = true;
      }
    } else {
      (void)::send(Fd, "a", 1, MSG_NOSIGNAL);
    }
  }
  const auto Lasted = std::chrono::steady_clock::now() - Started;
  ::close(Fd);
  EXPECT_TRUE(Closed);
  EXPECT_EQ(Received, "");
  EXPECT_GE(Lasted, 14s);
  EXPECT_LT(Lasted, 20s);
}

} // namespace
} // namespace NVelmora::NTest
