#pragma once

#include "tests/support/temp_dir.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace NVelmora::NTest {

struct TVelmoraOptions {
  std::vector<std::string> Args = {"--headless"};
  // Variables to set (a value) or remove (nullopt) in the program's environment.
  std::vector<std::pair<std::string, std::optional<std::string>>> Env;
  std::string WorkDir;          // the working directory it starts in; empty: the test's own
  bool CloseStdout = false;     // start it with standard output closed
  bool WaitForBanner = true;    // wait for the banner line and read the port from it
  std::string Launch;           // start it through this path (a link to the copy, say); empty: the copy
};

// Headless, with VLM_API_BASE set to ApiBase.
TVelmoraOptions AgainstService(const std::string& ApiBase);

// Copies the built velmora into AppDir (creating the folder), so that AppDir is its
// application directory.
std::string InstallVelmora(const std::string& AppDir);

// The real program, started from a copy in an application folder; killed and reaped at the end.
class TVelmoraProcess {
public:
  // AppDir empty: a fresh temporary folder of its own.
  explicit TVelmoraProcess(TVelmoraOptions Options = {}, std::string AppDir = "");
  ~TVelmoraProcess();
  TVelmoraProcess(const TVelmoraProcess&) = delete;
  TVelmoraProcess& operator=(const TVelmoraProcess&) = delete;

  std::uint16_t Port() const { return Port_; }
  const std::string& AppDir() const { return AppDir_; }
  pid_t Pid() const { return Pid_; }
  std::string Stdout() const;
  std::string Stderr() const;

  // Waits for the banner (bounded) and gives the port it names; 0 when none came.
  std::uint16_t AwaitBanner(std::chrono::milliseconds Limit = std::chrono::seconds(10));
  // The exit status (the code, or 128 + signal), or nullopt when it is still running after Limit.
  std::optional<int> WaitForExit(std::chrono::milliseconds Limit);
  // SIGTERM, then the exit status.
  int Stop();

private:
  std::unique_ptr<TTempDir> OwnDir_;
  std::string AppDir_;
  std::string OutPath_;
  std::string ErrPath_;
  pid_t Pid_ = -1;
  std::uint16_t Port_ = 0;
};

} // namespace NVelmora::NTest
