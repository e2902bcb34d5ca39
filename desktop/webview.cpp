#include "desktop/desktop.h"

namespace NVelmora {

bool RunWebViewWindow(const std::string&, const std::string&, const std::string&, int, int) {
  return false;
}

} // namespace NVelmora
