#include "store/local_time.h"

#include <ctime>

namespace NVelmora {

std::string LocalTimestamp() {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Text[32];
  const std::size_t Size = std::strftime(Text, sizeof Text, "%Y-%m-%d %H:%M", &Local);
  return std::string(Text, Size);
}

} // namespace NVelmora
