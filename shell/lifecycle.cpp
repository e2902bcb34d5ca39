#include "shell/lifecycle.h"

#include "engine/uapi.h"
#include "platform/files.h"
#include "shell/run_modes.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace NVelmora {
namespace {

constexpr std::uint16_t FirstPort = 19029;
constexpr auto PortSettleTime = std::chrono::milliseconds(150);
constexpr int WindowWidth = 1340;
constexpr int WindowHeight = 860;

void StopEngine(std::unique_ptr<TVelmoraApiServer>& Engine) {
  Engine->StopServer();
  Engine->Terminate();
  Engine->WaitFor();
  Engine.reset();
}

} // namespace

void ReserveStandardStreams() {
  for (int Fd = 0; Fd <= 2; ++Fd) {
    if (::fcntl(Fd, F_GETFD) == -1) {
      // Opened for the other direction, so that using the closed stream still fails.
      const int Placeholder = ::open("/dev/null", Fd == 0 ? O_WRONLY : O_RDONLY);
      if (Placeholder >= 0 && Placeholder != Fd) {
        ::close(Placeholder);
      }
    }
  }
}

void PrepareEnvironment() {
  ::setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", /*overwrite=*/0);
  const std::string AppDir = ExecutableDirectory();
  if (::chdir(AppDir.c_str()) != 0) {
    // Nothing to report: the program runs on from wherever it was started.
  }
}

int RunMain() {
  const std::string AppDir = ExecutableDirectory();
  EnsureDirectory(AppDir + "data", 0700);
  auto Engine = std::make_unique<TVelmoraApiServer>(AppDir, FirstPort);
  try {
    Engine->Start();
    std::this_thread::sleep_for(PortSettleTime);
    const std::string Url = "http://127.0.0.1:" + std::to_string(Engine->Port.load()) + "/";
    LaunchInterface("Velmora", Url, AppDir, WindowWidth, WindowHeight);
  } catch (...) {
    StopEngine(Engine);
    throw;
  }
  StopEngine(Engine);
  return 0;
}

} // namespace NVelmora
