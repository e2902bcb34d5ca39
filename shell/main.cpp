#include "shell/lifecycle.h"
#include "shell/run_modes.h"

#include <cxxabi.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

namespace {

constexpr int FailureStatus = 217;

std::string KindOf(const std::exception& Error) {
  const char* Mangled = typeid(Error).name();
  int Status = 0;
  std::unique_ptr<char, decltype(&std::free)> Name(abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status), &std::free);
  return Status == 0 && Name ? Name.get() : Mangled;
}

} // namespace

int main(int Argc, char** Argv) {
  // A closed pipe to a child is an error code, never a death.
  std::signal(SIGPIPE, SIG_IGN);
  NVelmora::ReserveStandardStreams();
  NVelmora::SetCommandLine(Argc, Argv);
  try {
    NVelmora::PrepareEnvironment();
    return NVelmora::RunMain();
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "velmora: %s: %s\n", KindOf(Error).c_str(), Error.what());
  } catch (...) {
    std::fprintf(stderr, "velmora: unknown error\n");
  }
  return FailureStatus;
}
