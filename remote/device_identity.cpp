#include "remote/device_identity.h"

#include "engine/uapi.h"
#include "platform/text.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace NVelmora {
namespace {

bool Exists(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0;
}

// The trimmed first line of a file; empty when the file is empty or cannot be read.
std::string FirstLine(const std::string& Path) {
  std::ifstream File(Path);
  std::string Line;
  if (!File || !std::getline(File, Line)) {
    return {};
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
