#pragma once

#include <string>

namespace NVelmora {

struct TDeviceIdentity {
  std::string Id;
  std::string Platform;
  std::string Model;
};

// Works out the identity sent to the public service from USER, HOSTNAME and the machine's
// id files. Root is prefixed to the file names ("" on a real system) so that tests can
// give another file tree. Never fails.
TDeviceIdentity LoadDeviceIdentity(const std::string& Root);

} // namespace NVelmora
