#include "tests/support/remote_harness.h"

#include "store/sqlite.h"
#include "tests/support/fake_service.h"
#include "tests/support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace NVelmora::NTest {

std::string UnreachableApiBase() {
  // Bound but never listened on: connections to it are refused while the socket lives,
  // and nothing else can take the port in the meantime.
  static const int Socket = [] {
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (Fd < 0 || ::bind(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
      throw std::runtime_error("cannot reserve a closed port");
    }
    return Fd;
  }();
  sockaddr_in Address{};
  socklen_t Size = sizeof Address;
  if (::getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Size) != 0) {
    throw std::runtime_error("getsockname failed");
  }
  return "http://127.0.0.1:" + std::to_string(ntohs(Address.sin_port)) + "/api/v1";
}

std::optional<std::string> StoredValue(const std::string& AppDir, const std::string& Key) {
  TDatabase Db(AppDir + "data/velmora.sqlite3");
  Db.Exec("PRAGMA busy_timeout=5000;");
  TStatement Select(Db, "SELECT v FROM kv_store WHERE k = :k;");
  Select.Bind(":k", Key);
  if (!Select.Step()) {
    return std::nullopt;
  }
  return Select.Text("v");
}

nlohmann::json SessionOf(std::uint16_t Port) {
  const THttpAnswer Answer = Get(Port, "/api/session");
  if (Answer.Status != 200) {
    throw std::runtime_error("GET /api/session answered " + std::to_string(Answer.Status));
  }
  return nlohmann::json::parse(Answer.Body);
}

int SignInThroughLogin(TFakeService& Service, std::uint16_t Port, const std::string& Token,
                       const std::string& UserJson) {
  nlohmann::json Answer = {{"token", Token}};
  if (!UserJson.empty()) {
    Answer["user"] = nlohmann::json::parse(UserJson);
  }
  Service.Script("POST", "/auth/login", {200, Answer.dump()});
  return Post(Port, "/api/auth/login", R"({"email":"ann@example.org","password":"pw"})").Status;
}

TFakeOpener::TFakeOpener() {
  // The record is renamed into place, so a reader never sees half of it.
  const std::string Script = "#!/bin/sh\n"
                             "d='" + Dir() + "'\n"
                             "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$d/run.tmp\"\n"
                             "mv \"$d/run.tmp\" \"$d/run\"\n";
  WriteFile(Dir() + "xdg-open", Script);
  SetRunnable(true);
}

void TFakeOpener::SetRunnable(bool Runnable) {
  if (::chmod((Dir() + "xdg-open").c_str(), Runnable ? 0755 : 0644) != 0) {
    throw std::runtime_error("chmod failed");
  }
}

std::string TFakeOpener::SearchPath() const {
  const char* Path = std::getenv("PATH");
  return Dir() + ":" + (Path != nullptr ? Path : "/usr/bin:/bin");
}

std::optional<std::vector<std::string>> TFakeOpener::AwaitRun(std::chrono::milliseconds Limit) {
  const std::string Record = Dir() + "run";
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (!std::filesystem::exists(Record)) {
    if (std::chrono::steady_clock::now() >= Deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::istringstream Lines(ReadFile(Record));
  std::filesystem::remove(Record);
  std::string Line;
  std::getline(Lines, Line);
  const int Count = std::stoi(Line);
  std::vector<std::string> Args;
  for (int I = 0; I < Count && std::getline(Lines, Line); ++I) {
    Args.push_back(Line);
  }
  return Args;
}

void TServiceSuite::StartSuite(std::vector<std::pair<std::string, std::optional<std::string>>> ExtraEnv) {
  Service_ = std::make_unique<TFakeService>();
  TVelmoraOptions Options = AgainstService(Service_->ApiBase());
  Options.Env.insert(Options.Env.end(), ExtraEnv.begin(), ExtraEnv.end());
  Velmora_ = std::make_unique<TVelmoraProcess>(Options);
}

void TServiceSuite::TearDownTestSuite() {
  Velmora_.reset();
  Service_.reset();
}

void TServiceSuite::SetUp() {
  ASSERT_NE(Velmora_->Port(), 0);
  ASSERT_EQ(Post(Port(), "/api/auth/logout", "").Status, 200);
  Service_->ClearRequests();
}

} // namespace NVelmora::NTest
