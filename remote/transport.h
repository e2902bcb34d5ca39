#pragma once

#include <string>

namespace NVelmora {

// The curl program RemoteRequest runs: the first file named "curl" in the directories of
// PATH, else Fallback when that file exists; empty when there is neither.
std::string LocateCurl(const std::string& Fallback);

} // namespace NVelmora
