// Measures what RemoteRequest adds to one curl run: the median time of one RemoteRequest
// against a local fake service beside the median time of spawning the same curl command
// directly and draining its output. Rounds are interleaved, alternating which goes first.
//
//   transport_bench [rounds=50]

#include "engine/uapi.h"
#include "platform/process.h"
#include "tests/support/fake_service.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace NVelmora;
using TClock = std::chrono::steady_clock;

// Spawns Program with Args, output and errors into one pipe, reads it to the end, reaps it.
int RunDirect(const std::string& Program, const std::vector<std::string>& Args, std::string& Output) {
  int Fds[2];
  if (::pipe2(Fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2");
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Fds[1], 1);
  posix_spawn_file_actions_adddup2(&Actions, Fds[1], 2);
  std::vector<char*> Argv{const_cast<char*>(Program.c_str())};
  for (const std::string& Arg : Args) {
    Argv.push_back(const_cast<char*>(Arg.c_str()));
  }
  Argv.push_back(nullptr);
  pid_t Pid = -1;
  const int Error = ::posix_spawn(&Pid, Program.c_str(), &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  ::close(Fds[1]);
  if (Error != 0) {
    ::close(Fds[0]);
    throw std::runtime_error("cannot start " + Program);
  }
  Output.clear();
  char Chunk[4096];
  for (ssize_t Got; (Got = ::read(Fds[0], Chunk, sizeof Chunk)) != 0;) {
    if (Got > 0) {
      Output.append(Chunk, static_cast<std::size_t>(Got));
    } else if (errno != EINTR) {
      break;
    }
  }
  ::close(Fds[0]);
  int Status = 0;
  while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
  return Status;
}

double Millis(const std::function<void()>& Work) {
  const auto Start = TClock::now();
  Work();
  return std::chrono::duration<double, std::milli>(TClock::now() - Start).count();
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  const std::size_t Mid = Values.size() / 2;
  return Values.size() % 2 != 0 ? Values[Mid] : (Values[Mid - 1] + Values[Mid]) / 2;
}

struct TCase {
  const char* Name;
  std::string Method;
  std::string Body;
};

} // namespace

int main(int Argc, char** Argv) {
  const int Rounds = Argc > 1 ? std::max(1, std::atoi(Argv[1])) : 50;
  NTest::TFakeService Service;
  Service.Script("GET", "/ping", {200, R"({"ok":true,"items":[1,2,3]})"});
  Service.Script("POST", "/ping", {200, R"({"ok":true})"});
  NTest::TTempDir Dir;
  TVelmoraApiServer Engine(Dir.Path(), 19029);
  Engine.ApiBase = Service.ApiBase();
  const std::string Url = Engine.ApiBase + "/ping";
  const std::string Curl = FindProgramOr("curl", "/usr/bin/curl");
  if (Curl.empty()) {
    std::fprintf(stderr, "no curl found\n");
    return 1;
  }

  std::printf("curl: %s, rounds: %d\n", Curl.c_str(), Rounds);
  for (const TCase& Case : {TCase{"GET", "GET", ""}, TCase{"POST with body", "POST", R"({"email":"a@b.c"})"}}) {
    // The same argument list RemoteRequest builds; the direct run's body file exists beforehand.
    std::vector<std::string> Args = {"-sS", "-L", "--globoff", "--max-time", "12", "-X", Case.Method,
                                     "-H", "Accept: application/json", "-H", "User-Agent: VelmoraDesktop/1.0"};
    if (!Engine.DeviceId.empty()) {
      Args.insert(Args.end(), {"-H", "X-Vlm-Device-Id: " + Engine.DeviceId});
    }
    Args.insert(Args.end(), {"-H", "X-Vlm-Platform: " + Engine.DevicePlatform, "-H", "X-Vlm-App-Version: 1.0.0"});
    if (!Engine.DeviceModel.empty()) {
      Args.insert(Args.end(), {"-H", "X-Vlm-Device-Model: " + Engine.DeviceModel});
    }
    if (!Case.Body.empty()) {
      const std::string BodyFile = Dir.Path() + "direct-body.tmp";
      NTest::WriteFile(BodyFile, Case.Body);
      Args.insert(Args.end(), {"-H", "Content-Type: application/json", "--data-binary", "@" + BodyFile});
    }
    Args.insert(Args.end(), {"-w", "\n__VLM_CODE__:%{http_code}", Url});

    std::vector<double> Direct;
    std::vector<double> Transport;
    std::string Output;
    std::string Body;
    int Status = 0;
    bool AllReached = true;
    auto RunTransport = [&] {
      Transport.push_back(Millis([&] {
        AllReached = Engine.RemoteRequest(Case.Method, Url, Case.Body, "", Body, Status) && AllReached;
      }));
    };
    auto RunCurl = [&] { Direct.push_back(Millis([&] { RunDirect(Curl, Args, Output); })); };
    RunCurl();  // warm-up, not counted
    RunTransport();
    Direct.clear();
    Transport.clear();
    for (int Round = 0; Round < Rounds; ++Round) {
      if (Round % 2 == 0) {
        RunCurl();
        RunTransport();
      } else {
        RunTransport();
        RunCurl();
      }
    }
    // Each round's two runs share the machine's momentary load, so their difference is the
    // steadier figure on a busy machine.
    std::vector<double> Paired;
    for (std::size_t I = 0; I < Direct.size(); ++I) {
      Paired.push_back(Transport[I] - Direct[I]);
    }
    const double DirectMedian = Median(Direct);
    const double TransportMedian = Median(Transport);
    std::printf("%-15s direct curl median %7.2f ms | RemoteRequest median %7.2f ms | difference %+6.2f ms"
                " | median paired difference %+6.2f ms%s\n",
                Case.Name, DirectMedian, TransportMedian, TransportMedian - DirectMedian, Median(Paired),
                AllReached ? "" : "  (some calls not reached!)");
  }
  return 0;
}
