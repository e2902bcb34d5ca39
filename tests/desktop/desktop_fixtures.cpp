#include "tests/desktop/desktop_fixtures.h"

#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace NVelmora::NTest {
namespace {

namespace fs = std::filesystem;

// State and parent from /proc/<pid>/stat; the command name may hold spaces and brackets.
bool ReadStat(const fs::path& Dir, char& State, int& Parent) {
  const std::string Stat = ReadFile((Dir / "stat").string());
  const std::size_t Close = Stat.rfind(')');
  if (Close == std::string::npos || Close + 4 >= Stat.size()) {
    return false;
  }
  State = Stat[Close + 2];
  Parent = std::atoi(Stat.c_str() + Close + 4);
  return true;
}

template <class Fn>
void ForEachProcess(Fn&& Visit) {
  std::error_code Ignored;
  for (const fs::directory_entry& Entry : fs::directory_iterator("/proc", Ignored)) {
    const std::string Name = Entry.path().filename().string();
    if (!Name.empty() && Name.find_first_not_of("0123456789") == std::string::npos) {
      Visit(Entry.path());
    }
  }
}

} // namespace

void WriteScript(const std::string& Path, const std::string& Body) {
  WriteFile(Path, "#!/bin/sh\n" + Body);
  fs::permissions(Path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

void WriteRecordingProgram(const std::string& Path, const std::string& RecordPath, const std::string& Tail) {
  WriteScript(Path, "{\n"
                    "  for a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done\n"
                    "  printf 'cwd:%s\\n' \"$(pwd)\"\n"
                    "  printf 'dmabuf:%s\\n' \"${WEBKIT_DISABLE_DMABUF_RENDERER-unset}\"\n"
                    "  printf 'end\\n'\n"
                    "} >> '" + RecordPath + "'\n" + Tail);
}

std::vector<std::string> ReadLines(const std::string& Path) {
  std::vector<std::string> Lines;
  std::ifstream File(Path);
  for (std::string Line; std::getline(File, Line);) {
    Lines.push_back(Line);
  }
  return Lines;
}

bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Limit) {
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= Deadline) {
      return Condition();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool AnyProcessMentions(const std::string& Needle, bool InEnvironment) {
  bool Found = false;
  ForEachProcess([&](const fs::path& Dir) {
    char State = 0;
    int Parent = 0;
    if (Found || !ReadStat(Dir, State, Parent) || State == 'Z' || State == 'X') {
      return;
    }
    Found = ReadFile((Dir / (InEnvironment ? "environ" : "cmdline")).string()).find(Needle) != std::string::npos;
  });
  return Found;
}

TToolRun RunTool(const std::string& Program, const std::vector<std::string>& Args, std::chrono::milliseconds Limit) {
  int Fds[2];
  if (::pipe2(Fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2 failed");
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
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
  TToolRun Run;
  if (Error != 0) {
    ::close(Fds[0]);
    Run.Output = "cannot start " + Program;
    return Run;
  }
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  bool TimedOut = false;
  while (true) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) {
      TimedOut = true;
      break;
    }
    pollfd Poll{Fds[0], POLLIN, 0};
    if (::poll(&Poll, 1, static_cast<int>(Left.count())) < 0 && errno != EINTR) {
      break;
    }
    char Chunk[4096];
    const ssize_t Got = ::read(Fds[0], Chunk, sizeof Chunk);
    if (Got > 0) {
      Run.Output.append(Chunk, static_cast<size_t>(Got));
    } else if (Got == 0 || (errno != EINTR && errno != EAGAIN)) {
      break;
    }
  }
  ::close(Fds[0]);
  if (TimedOut) {
    ::kill(Pid, SIGKILL);
  }
  int Status = 0;
  while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
  Run.Status = !TimedOut && WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  return Run;
}

int CountChildren(int Parent, bool Ended) {
  int Count = 0;
  ForEachProcess([&](const fs::path& Dir) {
    char State = 0;
    int Of = 0;
    if (ReadStat(Dir, State, Of) && Of == Parent && (State == 'Z' || State == 'X') == Ended) {
      ++Count;
    }
  });
  return Count;
}

} // namespace NVelmora::NTest
