#include "platform/files.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

namespace NVelmora {
namespace {

bool IsDirectory(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

} // namespace

bool EnsureDirectory(const std::string& Path, mode_t LeafMode) {
  if (Path.empty() || IsDirectory(Path)) {
    return !Path.empty();
  }
  std::string_view Trimmed(Path);
  while (Trimmed.size() > 1 && Trimmed.back() == '/') {
    Trimmed.remove_suffix(1);
  }
  const size_t Slash = Trimmed.rfind('/');
  if (Slash != std::string_view::npos && Slash > 0) {
    EnsureDirectory(std::string(Trimmed.substr(0, Slash)), 0755);
  }
  if (::mkdir(std::string(Trimmed).c_str(), LeafMode) != 0 && errno != EEXIST) {
    return false;
  }
  return IsDirectory(Path);
}

std::string ExecutableDirectory() {
  // realpath resolves every link and "."/".." part of the path the kernel recorded.
  char Resolved[PATH_MAX];
  if (::realpath("/proc/self/exe", Resolved) == nullptr) {
    return "/";
  }
  std::string Dir(Resolved);
  Dir.erase(Dir.rfind('/') + 1);
  return Dir;
}

} // namespace NVelmora
