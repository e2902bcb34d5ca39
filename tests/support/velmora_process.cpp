#include "tests/support/velmora_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace NVelmora::NTest {
namespace {

int DecodeStatus(int Status) {
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}

std::vector<std::string> BuildEnvironment(const TVelmoraOptions& Options) {
  std::vector<std::string> Env;
  for (char** Entry = environ; *Entry != nullptr; ++Entry) {
    const std::string Item(*Entry);
    const std::string Name = Item.substr(0, Item.find('='));
    bool Replaced = false;
    for (const auto& [Key, Value] : Options.Env) {
      Replaced = Replaced || Key == Name;
    }
    if (!Replaced) {
      Env.push_back(Item);
    }
  }
  for (const auto& [Key, Value] : Options.Env) {
    if (Value) {
      Env.push_back(Key + "=" + *Value);
    }
  }
  return Env;
}

} // namespace

TVelmoraOptions AgainstService(const std::string& ApiBase) {
  TVelmoraOptions Options;
  Options.Env.emplace_back("VLM_API_BASE", ApiBase);
  return Options;
}

std::string InstallVelmora(const std::string& AppDir) {
  std::filesystem::create_directories(AppDir);
  const std::string Target = (std::filesystem::path(AppDir) / "velmora").string();
  std::filesystem::copy_file(VLM_TEST_BINARY, Target, std::filesystem::copy_options::overwrite_existing);
  return Target;
}

TVelmoraProcess::TVelmoraProcess(TVelmoraOptions Options, std::string AppDir) {
  if (AppDir.empty()) {
    OwnDir_ = std::make_unique<TTempDir>();
    AppDir = OwnDir_->Path() + "app/";
  }
  AppDir_ = AppDir.back() == '/' ? AppDir : AppDir + "/";
  const std::string Installed = InstallVelmora(AppDir_);
  const std::string Program = Options.Launch.empty() ? Installed : Options.Launch;
  static int Serial = 0;
  const std::string LogBase = (OwnDir_ ? OwnDir_->Path() : AppDir_ + "../") + "velmora-" +
                              std::to_string(::getpid()) + "-" + std::to_string(++Serial);
  OutPath_ = LogBase + ".out";
  ErrPath_ = LogBase + ".err";

  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
  if (Options.CloseStdout) {
    posix_spawn_file_actions_addclose(&Actions, 1);
  } else {
    posix_spawn_file_actions_addopen(&Actions, 1, OutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&Actions, 2, ErrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!Options.WorkDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&Actions, Options.WorkDir.c_str());
  }
  std::vector<std::string> Env = BuildEnvironment(Options);
  std::vector<char*> EnvP;
  for (std::string& Item : Env) {
    EnvP.push_back(Item.data());
  }
  EnvP.push_back(nullptr);
  std::vector<std::string> Args = Options.Args;
  std::vector<char*> Argv{const_cast<char*>(Program.c_str())};
  for (std::string& Arg : Args) {
    Argv.push_back(Arg.data());
  }
  Argv.push_back(nullptr);
  const int Error = ::posix_spawn(&Pid_, Program.c_str(), &Actions, nullptr, Argv.data(), EnvP.data());
  posix_spawn_file_actions_destroy(&Actions);
  if (Error != 0) {
    throw std::runtime_error(std::string("cannot start velmora: ") + std::strerror(Error));
  }
  if (Options.WaitForBanner) {
    AwaitBanner();
  }
}

TVelmoraProcess::~TVelmoraProcess() {
  if (Pid_ > 0) {
    ::kill(Pid_, SIGKILL);
    int Status = 0;
    ::waitpid(Pid_, &Status, 0);
  }
  std::error_code Ignored;
  std::filesystem::remove(OutPath_, Ignored);
  std::filesystem::remove(ErrPath_, Ignored);
}

std::string TVelmoraProcess::Stdout() const { return ReadFile(OutPath_); }
std::string TVelmoraProcess::Stderr() const { return ReadFile(ErrPath_); }

std::uint16_t TVelmoraProcess::AwaitBanner(std::chrono::milliseconds Limit) {
  static constexpr std::string_view Banner = "[Velmora] Native engine listening at http://127.0.0.1:";
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (std::chrono::steady_clock::now() < Deadline) {
    const std::string Out = Stdout();
    if (const std::size_t At = Out.find(Banner); At != std::string::npos && Out.find('\n', At) != std::string::npos) {
      Port_ = static_cast<std::uint16_t>(std::stoi(Out.substr(At + Banner.size())));
      return Port_;
    }
    if (Pid_ > 0 && ::waitpid(Pid_, nullptr, WNOHANG) != 0) {
      break;  // ended (or already reaped) without a banner
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

std::optional<int> TVelmoraProcess::WaitForExit(std::chrono::milliseconds Limit) {
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (Pid_ > 0) {
    int Status = 0;
    const pid_t Done = ::waitpid(Pid_, &Status, WNOHANG);
    if (Done == Pid_) {
      Pid_ = -1;
      return DecodeStatus(Status);
    }
    if (std::chrono::steady_clock::now() >= Deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;
}

int TVelmoraProcess::Stop() {
  if (Pid_ <= 0) {
    return -1;
  }
  ::kill(Pid_, SIGTERM);
  int Status = 0;
  ::waitpid(Pid_, &Status, 0);
  Pid_ = -1;
  return DecodeStatus(Status);
}

} // namespace NVelmora::NTest
