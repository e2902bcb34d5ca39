#include "tests/desktop/desktop_fixtures.h"

#include "tests/support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <thread>

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

int CountZombieChildren(int Parent) {
  int Count = 0;
  ForEachProcess([&](const fs::path& Dir) {
    char State = 0;
    int Of = 0;
    if (ReadStat(Dir, State, Of) && Of == Parent && State == 'Z') {
      ++Count;
    }
  });
  return Count;
}

} // namespace NVelmora::NTest
