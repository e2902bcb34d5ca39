#pragma once

#include <string>

namespace NVelmora {

// The machine's local date and time as "yyyy-mm-dd hh:nn".
std::string LocalTimestamp();

} // namespace NVelmora
