#include "engine/uapi.h"

#include "tests/support/held_port.h"
#include "tests/support/http_client.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;

// Count consecutive ports that are free right now, away from the engine's own range,
// so that these tests never meet a velmora that somebody else runs.
std::uint16_t FindFreePorts(int Count) {
  std::mt19937 Random(std::random_device{}());
  for (int Try = 0; Try < 200; ++Try) {
    const auto Base = static_cast<std::uint16_t>(30000 + Random() % 20000);
    std::vector<THeldPort> Probes;
    for (int I = 0; I < Count && (Probes.empty() || Probes.back().Held()); ++I) {
      Probes.emplace_back(static_cast<std::uint16_t>(Base + I));
    }
    if (Probes.back().Held()) {
      return Base;
    }
  }
  return 0;
}

template <class TFn>
std::future<void> InBackground(TFn Fn) {
  return std::async(std::launch::async, std::move(Fn));
}

bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Limit) {
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= Deadline) {
      return false;
    }
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// Opens a connection and sends the first part of a request, leaving it unfinished.
int StartRequest(std::uint16_t Port, std::string_view Head) {
  const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(Port);
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof Address) != 0 ||
      ::send(Fd, Head.data(), Head.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(Head.size())) {
    ::close(Fd);
    return -1;
  }
  return Fd;
}

std::string ReadToEnd(int Fd) {
  std::string Out;
  char Chunk[4096];
  ssize_t Got = 0;
  while ((Got = ::recv(Fd, Chunk, sizeof Chunk, 0)) > 0) {
    Out.append(Chunk, static_cast<std::size_t>(Got));
  }
  return Out;
}

class EngineStop : public ::testing::Test {
protected:
  void StartEngine(std::uint16_t Port) {
    Engine = std::make_unique<TVelmoraApiServer>(Dir.Path(), Port);
    Engine->Start();
  }
  // The shell's stop sequence, run where a test can bound it.
  std::future<void> StopInBackground() {
    return InBackground([this] {
      Engine->StopServer();
      Engine->Terminate();
      Engine->WaitFor();
      Engine.reset();
    });
  }

  TTempDir Dir;
  std::unique_ptr<TVelmoraApiServer> Engine;
};

TEST_F(EngineStop, AStopAskedBeforeStartIsHonoured) {
  const std::uint16_t Port = FindFreePorts(1);
  ASSERT_NE(Port, 0);
  Engine = std::make_unique<TVelmoraApiServer>(Dir.Path(), Port);
  Engine->StopServer();
  Engine->Start();
  auto Joined = InBackground([this] { Engine->WaitFor(); });
  ASSERT_EQ(Joined.wait_for(5s), std::future_status::ready) << "the engine thread kept serving after a stop";
  EXPECT_FALSE(IsListening(Port));
  auto Freed = InBackground([this] { Engine.reset(); });
  EXPECT_EQ(Freed.wait_for(5s), std::future_status::ready);
}

TEST_F(EngineStop, StoppingTwiceAndFreeingAfterAStopEndPromptly) {
  const std::uint16_t Port = FindFreePorts(1);
  ASSERT_NE(Port, 0);
  StartEngine(Port);
  ASSERT_TRUE(WaitUntil([&] { return IsListening(Port); }, 5s));
  EXPECT_EQ(Get(Port, "/api/health").Status, 200);
  Engine->StopServer();
  auto Stopped = StopInBackground();
  ASSERT_EQ(Stopped.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(IsListening(Port));
}

TEST_F(EngineStop, WithEveryPortTakenNothingListensAndStoppingEndsAtOnce) {
  const std::uint16_t Base = FindFreePorts(16);
  ASSERT_NE(Base, 0);
  std::vector<THeldPort> Held;
  for (int I = 0; I < 16; ++I) {
    Held.emplace_back(static_cast<std::uint16_t>(Base + I));
    ASSERT_TRUE(Held.back().Held());
  }
  StartEngine(Base);
  auto Joined = InBackground([this] { Engine->WaitFor(); });
  ASSERT_EQ(Joined.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(Engine->Port.load(), Base + 16);
  auto Stopped = StopInBackground();
  EXPECT_EQ(Stopped.wait_for(5s), std::future_status::ready);
}

TEST_F(EngineStop, FreeingWaitsForARequestInProgress) {
  const std::uint16_t Port = FindFreePorts(1);
  ASSERT_NE(Port, 0);
  StartEngine(Port);
  ASSERT_TRUE(WaitUntil([&] { return IsListening(Port); }, 5s));
  const int Fd = StartRequest(Port, "GET /api/health HTTP/1.1\r\nHost: 127.0.0.1\r\n");
  ASSERT_GE(Fd, 0);
  // A connection still queued when the stop comes is dropped. Connections are accepted in
  // order, so once a later request is answered this one has been taken.
  ASSERT_EQ(Get(Port, "/api/health").Status, 200);

  auto Stopped = StopInBackground();
  ASSERT_TRUE(WaitUntil([&] { return !IsListening(Port); }, 5s));
  EXPECT_EQ(Stopped.wait_for(0s), std::future_status::timeout) << "freed while a request was in progress";

  ASSERT_EQ(::send(Fd, "\r\n", 2, MSG_NOSIGNAL), 2);
  const THttpAnswer Answer = ParseAnswer(ReadToEnd(Fd));
  ::close(Fd);
  EXPECT_EQ(Answer.Status, 200);
  EXPECT_EQ(Answer.Body, R"({"ok":true,"app":"Velmora","version":"1.0.0"})");
  EXPECT_EQ(Stopped.wait_for(5s), std::future_status::ready);
}

TEST_F(EngineStop, FreeingClosesAConnectionThatNeverFinishesItsRequest) {
  const std::uint16_t Port = FindFreePorts(1);
  ASSERT_NE(Port, 0);
  StartEngine(Port);
  ASSERT_TRUE(WaitUntil([&] { return IsListening(Port); }, 5s));
  const int Fd = StartRequest(Port, "GET /api/health HTTP/1.1\r\n");
  ASSERT_GE(Fd, 0);
  ASSERT_EQ(Get(Port, "/api/health").Status, 200);

  const auto Started = std::chrono::steady_clock::now();
  auto Stopped = StopInBackground();
  ASSERT_EQ(Stopped.wait_for(10s), std::future_status::ready) << "freeing waited for a stalled connection";
  EXPECT_LT(std::chrono::steady_clock::now() - Started, 10s);
  EXPECT_EQ(ReadToEnd(Fd), "") << "the stalled connection is closed without an answer";
  ::close(Fd);
}

} // namespace
} // namespace NVelmora::NTest
