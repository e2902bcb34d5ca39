#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace NVelmora::NTest {

// Writes an executable /bin/sh script.
void WriteScript(const std::string& Path, const std::string& Body);

// A stand-in program that appends one record to RecordPath per run: its arguments (one
// "arg:" line each), working directory and WEBKIT_DISABLE_DMABUF_RENDERER, then "end".
// Only shell built-ins are used, since PATH may hold nothing else.
void WriteRecordingProgram(const std::string& Path, const std::string& RecordPath, const std::string& Tail = "");

// The lines of a file; none when it does not exist.
std::vector<std::string> ReadLines(const std::string& Path);

// Polls Condition until it holds or Limit has passed; gives its last answer.
bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Limit);

// True while some live process has Needle in its command line (or, with InEnvironment,
// in its environment). Ended processes that are not reaped yet do not count. A process in
// the middle of its exec may show no command line yet: to wait for a child that was just
// started, count the children instead.
bool AnyProcessMentions(const std::string& Needle, bool InEnvironment = false);

struct TToolRun {
  int Status = -1;  // the exit code, or -1 when it did not end in time and was killed
  std::string Output;  // standard output and standard error
};

// Runs a program (a full path) with Args, killing it when it has not ended after Limit.
TToolRun RunTool(const std::string& Program, const std::vector<std::string>& Args,
                 std::chrono::milliseconds Limit = std::chrono::seconds(10));

// The children of Parent that still run, or (Ended) that have ended but were not reaped.
int CountChildren(int Parent, bool Ended);

} // namespace NVelmora::NTest
