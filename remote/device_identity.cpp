#include "remote/device_identity.h"

#include "engine/uapi.h"
#include "platform/text.h"

#include "platform/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace NVelmora {
namespace {

bool Exists(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0;
}

// The trimmed first line of a file; empty when the file is empty or cannot be read.
// Plain reads rather than a stream: a stream would set up the C++ locale machinery,
// which costs the idle process a few hundred kilobytes of memory.
std::string FirstLine(const std::string& Path) {
  TUniqueFd File(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!File) {
    return {};
  }
  std::string Line;
  char Chunk[4096];
  while (true) {
    const ssize_t Got = ::read(File.Get(), Chunk, sizeof Chunk);
    if (Got < 0 && errno == EINTR) {
      continue;
    }
    if (Got <= 0) {
      break;  // end of file, or an error that leaves what was read
    }
    const std::string_view Part(Chunk, static_cast<std::size_t>(Got));
    const std::size_t End = Part.find('\n');
    Line.append(Part.substr(0, End));
    if (End != std::string_view::npos) {
      break;
    }
  }
  return std::string(Trim(Line));
}

std::string TrimmedVariable(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value == nullptr ? std::string() : std::string(Trim(Value));
}

} // namespace

TDeviceIdentity LoadDeviceIdentity(const std::string& Root) {
  const std::string User = TrimmedVariable("USER");
  std::string Host = TrimmedVariable("HOSTNAME");

  // The first file that exists wins, even when it gives nothing.
  std::string MachineId;
  if (Exists(Root + "/etc/machine-id")) {
    MachineId = FirstLine(Root + "/etc/machine-id");
  } else if (Exists(Root + "/var/lib/dbus/machine-id")) {
    MachineId = FirstLine(Root + "/var/lib/dbus/machine-id");
  }
  if (Host.empty() && Exists(Root + "/etc/hostname")) {
    Host = FirstLine(Root + "/etc/hostname");
  }
  if (MachineId.empty()) {
    MachineId = "lin_" + Host + "_" + User;
  }
  return TDeviceIdentity{"lin_" + MachineId + "_" + User, "linux", "Linux Desktop (" + Host + ")"};
}

void TVelmoraApiServer::LoadDeviceIdentity() {
  TDeviceIdentity Identity = NVelmora::LoadDeviceIdentity("");
  DeviceId = std::move(Identity.Id);
  DevicePlatform = std::move(Identity.Platform);
  DeviceModel = std::move(Identity.Model);
}

} // namespace NVelmora
