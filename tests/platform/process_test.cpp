#include "platform/process.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace NVelmora::NTest {
namespace {

void WriteScript(const std::string& Path, const std::string& Body) {
  WriteFile(Path, "#!/bin/sh\n" + Body + "\n");
  ASSERT_EQ(::chmod(Path.c_str(), 0755), 0);
}

// Sets PATH for one test and puts the old value back afterwards.
class TPathGuard {
public:
  explicit TPathGuard(const std::string& Value) {
    if (const char* Old = std::getenv("PATH")) {
      Old_ = Old;
    }
    ::setenv("PATH", Value.c_str(), 1);
  }
  ~TPathGuard() {
    if (Old_) {
      ::setenv("PATH", Old_->c_str(), 1);
    } else {
      ::unsetenv("PATH");
    }
  }

private:
  std::optional<std::string> Old_;
};

// A tree of PATH directories: a/ and b/ both hold "tool", dir/ holds a directory named
// "tool", link/ a symbolic link to a/tool, empty/ nothing.
class FindProgramTree : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* Sub : {"a", "b", "dir", "dir/tool", "link", "empty"}) {
      ASSERT_EQ(::mkdir((Root.Path() + Sub).c_str(), 0755), 0);
    }
    WriteScript(Root.Path() + "a/tool", "exit 0");
    WriteScript(Root.Path() + "b/tool", "exit 0");
    ASSERT_EQ(::symlink((Root.Path() + "a/tool").c_str(), (Root.Path() + "link/tool").c_str()), 0);
  }

  std::string Dir(const char* Sub) const { return Root.Path() + Sub; }

  TTempDir Root;
};

struct TSearchCase {
  std::vector<const char*> Entries;  // PATH entries; "" is an empty entry
  const char* Expected;              // directory of the hit, nullptr for none
};

class FindProgramSearch : public FindProgramTree, public ::testing::WithParamInterface<TSearchCase> {};

TEST_P(FindProgramSearch, TakesTheFirstFileInPathOrder) {
  std::string Path;
  for (std::size_t I = 0; I < GetParam().Entries.size(); ++I) {
    const std::string Entry = GetParam().Entries[I];
    Path += (I > 0 ? ":" : "") + (Entry.empty() ? "" : Dir(Entry.c_str()));
  }
  TPathGuard Guard(Path);
  const std::string Expected = GetParam().Expected ? Dir(GetParam().Expected) + "/tool" : "";
  EXPECT_EQ(FindProgram("tool"), Expected) << "PATH=" << Path;
}

INSTANTIATE_TEST_SUITE_P(Platform, FindProgramSearch, ::testing::Values(
    TSearchCase{{"a", "b"}, "a"},
    TSearchCase{{"b", "a"}, "b"},
    TSearchCase{{"", "", "b"}, "b"},
    TSearchCase{{"dir", "b"}, "b"},
    TSearchCase{{"empty", "dir"}, nullptr},
    TSearchCase{{"link"}, "link"},
    TSearchCase{{""}, nullptr},
    TSearchCase{{}, nullptr}));

TEST_F(FindProgramTree, EmptyEntriesDoNotSearchTheWorkingDirectory) {
  char Old[4096];
  ASSERT_NE(::getcwd(Old, sizeof Old), nullptr);
  ASSERT_EQ(::chdir(Dir("a").c_str()), 0);
  std::string Found;
  {
    TPathGuard Guard(":" + Dir("empty") + ":");
    Found = FindProgram("tool");
  }
  ASSERT_EQ(::chdir(Old), 0);
  EXPECT_EQ(Found, "");
}

TEST_F(FindProgramTree, ATrailingSlashInAnEntryGivesOneSlash) {
  TPathGuard Guard(Dir("b") + "/");
  EXPECT_EQ(FindProgram("tool"), Dir("b") + "/tool");
}

struct TChildCase {
  const char* Name;
  std::string Script;  // written as the program when not empty
  mode_t Mode;
  int Expected;
};

class ChildProcessStatus : public ::testing::TestWithParam<TChildCase> {};

TEST_P(ChildProcessStatus, WaitGivesTheExitCodeOr127WhenTheProgramCannotRun) {
  TTempDir Root;
  const std::string Program = Root.Path() + "program";
  if (!GetParam().Script.empty()) {
    WriteFile(Program, GetParam().Script);
    ASSERT_EQ(::chmod(Program.c_str(), GetParam().Mode), 0);
  } else if (GetParam().Mode != 0) {
    ASSERT_EQ(::mkdir(Program.c_str(), GetParam().Mode), 0);
  }
  TChildProcess Child(Program, {"one", "two"});
  EXPECT_EQ(Child.Wait(), GetParam().Expected);
  EXPECT_EQ(Child.Wait(), GetParam().Expected) << "a second Wait gives the same status";
}

INSTANTIATE_TEST_SUITE_P(Platform, ChildProcessStatus, ::testing::Values(
    TChildCase{"ExitCode", "#!/bin/sh\nexit 3\n", 0755, 3},
    TChildCase{"ArgumentsArrive", "#!/bin/sh\n[ \"$1 $2 $#\" = 'one two 2' ]\n", 0755, 0},
    TChildCase{"Signal", "#!/bin/sh\nkill -TERM $$\n", 0755, 128 + SIGTERM},
    TChildCase{"NotExecutable", "#!/bin/sh\nexit 0\n", 0644, 127},
    TChildCase{"NoInterpreter", "#!/nonexistent/interpreter\n", 0755, 127},
    TChildCase{"Missing", "", 0, 127},
    TChildCase{"Directory", "", 0755, 127}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(RunCaptured, MergesOutputAndErrorInTheOrderWritten) {
  const TCapturedRun Run = RunCaptured("/bin/sh", {"-c", "echo out; echo err >&2; echo again; exit 4"});
  EXPECT_EQ(Run.Output, "out\nerr\nagain\n");
  EXPECT_EQ(Run.ExitStatus, 4);
}

TEST(RunCaptured, DrainsOutputLargerThanThePipeWhileTheChildRuns) {
  const TCapturedRun Run = RunCaptured("/bin/sh", {"-c", "head -c 3000000 /dev/zero; echo done >&2"});
  EXPECT_EQ(Run.Output.size(), 3000005u);
  EXPECT_EQ(Run.Output.substr(3000000), "done\n");
  EXPECT_EQ(Run.ExitStatus, 0);
}

TEST(RunCaptured, TheChildGetsTheDefaultSigpipeBackWhileTheParentIgnoresIt) {
  const auto Previous = std::signal(SIGPIPE, SIG_IGN);
  // SigIgn is the mask of ignored signals; SIGPIPE is signal 13, the bit 0x1000.
  const TCapturedRun Run = RunCaptured("/bin/sh", {"-c", "grep SigIgn /proc/self/status"});
  std::signal(SIGPIPE, Previous);
  ASSERT_EQ(Run.ExitStatus, 0);
  const std::uint64_t Ignored = std::stoull(Run.Output.substr(Run.Output.find(':') + 1), nullptr, 16);
  EXPECT_EQ(Ignored & (1u << (SIGPIPE - 1)), 0u) << Run.Output;
}

TEST(RunCaptured, ThrowsWhenTheProgramCannotRun) {
  TTempDir Root;
  WriteFile(Root.Path() + "plain", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(::chmod((Root.Path() + "plain").c_str(), 0644), 0);
  EXPECT_THROW(RunCaptured(Root.Path() + "plain", {}), std::system_error);
  EXPECT_THROW(RunCaptured(Root.Path() + "missing", {}), std::system_error);
}

TEST(StartDetached, ReturnsAtOnceAndLeavesNoZombie) {
  TTempDir Root;
  const std::string PidFile = Root.Path() + "pid";
  const std::string Done = Root.Path() + "done";
  const auto Started = std::chrono::steady_clock::now();
  StartDetached("/bin/sh", {"-c", "echo $$ > " + PidFile + ".tmp; mv " + PidFile + ".tmp " + PidFile +
                                      "; while [ ! -e " + Done + " ]; do sleep 0.05; done"});
  EXPECT_LT(std::chrono::steady_clock::now() - Started, std::chrono::seconds(2));

  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string Pid;
  while (Pid.empty() && std::chrono::steady_clock::now() < Deadline) {
    Pid = ReadFile(PidFile);
    std::this_thread::yield();
  }
  ASSERT_FALSE(Pid.empty());
  const pid_t Child = static_cast<pid_t>(std::stol(Pid));
  EXPECT_EQ(::kill(Child, 0), 0) << "still running until told to end";
  WriteFile(Done, "");
  // Reaped in the background: the pid disappears instead of staying a zombie.
  while (::kill(Child, 0) == 0 && std::chrono::steady_clock::now() < Deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(::kill(Child, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

} // namespace
} // namespace NVelmora::NTest
