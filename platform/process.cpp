#include "platform/process.h"

#include "platform/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <thread>

extern char** environ;

namespace NVelmora {
namespace {

std::vector<char*> MakeArgv(const std::string& Program, const std::vector<std::string>& Args) {
  std::vector<char*> Argv;
  Argv.reserve(Args.size() + 2);
  Argv.push_back(const_cast<char*>(Program.c_str()));
  for (const std::string& Arg : Args) {
    Argv.push_back(const_cast<char*>(Arg.c_str()));
  }
  Argv.push_back(nullptr);
  return Argv;
}

// glibc's posix_spawn reports a failed exec as its own result; these say that the
// process was created but the program could not run in it.
bool IsExecFailure(int Error) {
  switch (Error) {
    case ENOENT: case EACCES: case ENOEXEC: case EPERM: case ENOTDIR: case ELOOP: case ETXTBSY:
      return true;
    default:
      return false;
  }
}

int DecodeWaitStatus(int Status) {
  if (WIFEXITED(Status)) {
    return WEXITSTATUS(Status);
  }
  if (WIFSIGNALED(Status)) {
    return 128 + WTERMSIG(Status);
  }
  return -1;
}

int WaitForPid(pid_t Pid) {
  int Status = 0;
  while (::waitpid(Pid, &Status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return DecodeWaitStatus(Status);
}

class TSpawnActions {
public:
  TSpawnActions() {
    if (int Error = ::posix_spawn_file_actions_init(&Actions_)) {
      throw std::system_error(Error, std::generic_category(), "posix_spawn_file_actions_init");
    }
  }
  ~TSpawnActions() { ::posix_spawn_file_actions_destroy(&Actions_); }
  TSpawnActions(const TSpawnActions&) = delete;
  TSpawnActions& operator=(const TSpawnActions&) = delete;

  void Dup2(int From, int To) {
    if (int Error = ::posix_spawn_file_actions_adddup2(&Actions_, From, To)) {
      throw std::system_error(Error, std::generic_category(), "posix_spawn_file_actions_adddup2");
    }
  }
  posix_spawn_file_actions_t* Get() { return &Actions_; }

private:
  posix_spawn_file_actions_t Actions_;
};

// Spawns the program; returns the pid, or -1 with ExecError set when the exec failed.
pid_t Spawn(const std::string& Program, const std::vector<std::string>& Args,
            posix_spawn_file_actions_t* Actions, int& ExecError) {
  std::vector<char*> Argv = MakeArgv(Program, Args);
  // The program ignores SIGPIPE for itself; an ignored signal would pass on to the child
  // (and to a browser that xdg-open starts), so the child gets the default back.
  posix_spawnattr_t Attributes;
  ::posix_spawnattr_init(&Attributes);
  sigset_t Defaults;
  sigemptyset(&Defaults);
  sigaddset(&Defaults, SIGPIPE);
  ::posix_spawnattr_setsigdefault(&Attributes, &Defaults);
  ::posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t Pid = -1;
  ExecError = ::posix_spawn(&Pid, Program.c_str(), Actions, &Attributes, Argv.data(), environ);
  ::posix_spawnattr_destroy(&Attributes);
  if (ExecError == 0) {
    return Pid;
  }
  if (!IsExecFailure(ExecError)) {
    throw std::system_error(ExecError, std::generic_category(), "cannot start " + Program);
  }
  return -1;
}

} // namespace

bool IsExistingFile(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0 && !S_ISDIR(Info.st_mode);
}

std::string FindProgram(const std::string& Name) {
  const char* Path = std::getenv("PATH");
  if (Path == nullptr || Name.empty()) {
    return {};
  }
  std::string_view Rest(Path);
  while (true) {
    const size_t Colon = Rest.find(':');
    const std::string_view Dir = Rest.substr(0, Colon);
    if (!Dir.empty()) {
      std::string Candidate(Dir);
      if (Candidate.back() != '/') {
        Candidate += '/';
      }
      Candidate += Name;
      if (IsExistingFile(Candidate)) {
        return Candidate;
      }
    }
    if (Colon == std::string_view::npos) {
      return {};
    }
    Rest.remove_prefix(Colon + 1);
  }
}

std::string FindProgramOr(const std::string& Name, const std::string& Fallback) {
  std::string Program = FindProgram(Name);
  if (Program.empty() && IsExistingFile(Fallback)) {
    Program = Fallback;
  }
  return Program;
}

TCapturedRun RunCaptured(const std::string& Program, const std::vector<std::string>& Args) {
  std::array<int, 2> Fds{};
  if (::pipe2(Fds.data(), O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  TUniqueFd ReadEnd(Fds[0]);
  TUniqueFd WriteEnd(Fds[1]);

  TSpawnActions Actions;
  Actions.Dup2(WriteEnd.Get(), STDOUT_FILENO);
  Actions.Dup2(WriteEnd.Get(), STDERR_FILENO);
  int Error = 0;
  const pid_t Pid = Spawn(Program, Args, Actions.Get(), Error);
  if (Pid < 0) {
    throw std::system_error(Error, std::generic_category(), "cannot run " + Program);
  }
  // The parent's copy must go, or the read below never sees end of file.
  WriteEnd.Reset();

  TCapturedRun Run;
  char Chunk[4096];
  while (true) {
    pollfd Poll{ReadEnd.Get(), POLLIN, 0};
    const int Ready = ::poll(&Poll, 1, -1);
    if (Ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    const ssize_t Got = ::read(ReadEnd.Get(), Chunk, sizeof Chunk);
    if (Got > 0) {
      Run.Output.append(Chunk, static_cast<size_t>(Got));
    } else if (Got == 0 || errno != EINTR) {
      break;
    }
  }
  Run.ExitStatus = WaitForPid(Pid);
  return Run;
}

TChildProcess::TChildProcess(const std::string& Program, const std::vector<std::string>& Args) {
  int Error = 0;
  Pid_ = Spawn(Program, Args, nullptr, Error);
  if (Pid_ < 0) {
    ExitStatus_ = 127;
  }
}

TChildProcess::TChildProcess(TChildProcess&& Other) noexcept
    : Pid_(std::exchange(Other.Pid_, -1)), ExitStatus_(Other.ExitStatus_) {}

TChildProcess::~TChildProcess() {
  if (Pid_ >= 0) {
    WaitForPid(Pid_);
  }
}

int TChildProcess::Wait() {
  if (Pid_ >= 0) {
    ExitStatus_ = WaitForPid(Pid_);
    Pid_ = -1;
  }
  return ExitStatus_;
}

void StartDetached(const std::string& Program, const std::vector<std::string>& Args) {
  int Error = 0;
  const pid_t Pid = Spawn(Program, Args, nullptr, Error);
  if (Pid >= 0) {
    std::thread([Pid] { WaitForPid(Pid); }).detach();
  }
}

} // namespace NVelmora
