#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace NVelmora {

// Searches the directories of PATH, read afresh at every call, for a file named Name:
// empty entries are skipped, a directory of that name does not count, symbolic links
// are followed, and the working directory is searched only when PATH lists it.
// Gives the full path, or an empty text when there is no hit.
std::string FindProgram(const std::string& Name);

// FindProgram(Name), else Fallback when that file exists; empty when there is neither.
std::string FindProgramOr(const std::string& Name, const std::string& Fallback);

// True when Path names something that exists and is not a directory (links followed).
bool IsExistingFile(const std::string& Path);

struct TCapturedRun {
  int ExitStatus = -1;  // the exit code, or 128 + signal number
  std::string Output;   // standard output and standard error, interleaved as written
};

// Runs Program (a full path) with Args, without a shell, collecting its standard output
// and standard error through one pipe that is drained while the child runs.
// Throws std::system_error when the child cannot be started.
TCapturedRun RunCaptured(const std::string& Program, const std::vector<std::string>& Args);

// A started child process that shares the parent's standard streams.
// It is always reaped: by Wait, or else by the destructor.
class TChildProcess {
public:
  // Throws std::system_error when the process cannot be created. A program file that
  // exists but cannot be executed gives a child that has already ended with status 127.
  TChildProcess(const std::string& Program, const std::vector<std::string>& Args);
  TChildProcess(TChildProcess&& Other) noexcept;
  TChildProcess& operator=(TChildProcess&&) = delete;
  TChildProcess(const TChildProcess&) = delete;
  ~TChildProcess();

  // Waits until the child exits; gives its exit code, or 128 + signal number.
  int Wait();

private:
  pid_t Pid_ = -1;
  int ExitStatus_ = -1;
};

// Starts Program with Args and returns at once; the child is reaped in the background
// so that no zombie is left. Throws std::system_error when it cannot be created.
void StartDetached(const std::string& Program, const std::vector<std::string>& Args);

} // namespace NVelmora
