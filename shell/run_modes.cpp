#include "shell/run_modes.h"

#include "desktop/desktop.h"
#include "platform/text.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace NVelmora {
namespace {

std::vector<std::string>& CommandLine() {
  static std::vector<std::string> Args;
  return Args;
}

} // namespace

void SetCommandLine(int Argc, char** Argv) {
  CommandLine().assign(Argv + (Argc > 0 ? 1 : 0), Argv + Argc);
}

bool IsHeadless(const std::vector<std::string>& Args, const char* HeadlessVariable) {
  for (const std::string& Arg : Args) {
    const std::string Switch = ToLowerAscii(Trim(Arg));
    if (Switch == "--headless" || Switch == "--headless-server" || Switch == "--server-only") {
      return true;
    }
  }
  return HeadlessVariable != nullptr && std::string_view(HeadlessVariable) == "1";
}

bool IsHeadless() {
  return IsHeadless(CommandLine(), std::getenv("VLM_HEADLESS"));
}

void PrintBanner(const std::string& Url) {
  const std::string Line = "[Velmora] Native engine listening at " + Url + "\n";
  errno = 0;
  if (std::fwrite(Line.data(), 1, Line.size(), stdout) != Line.size() || std::fflush(stdout) != 0) {
    throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(), "cannot write to standard output");
  }
  while (true) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  }
}

void LaunchInterface(const std::string& Title, const std::string& Url, const std::string& AppDir, int Width,
                     int Height) {
  if (IsHeadless()) {
    PrintBanner(Url);
  }
  if (RunWebViewWindow(Title, Url, AppDir, Width, Height)) {
    return;
  }
  RunBrowserApp(Url, AppDir, Width, Height);
}

} // namespace NVelmora
