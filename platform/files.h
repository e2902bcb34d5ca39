#pragma once

#include <sys/types.h>

#include <string>

namespace NVelmora {

// Creates Path and any missing parents. Only a directory created here gets LeafMode;
// an existing one is left as it is. False when Path is not a directory afterwards.
bool EnsureDirectory(const std::string& Path, mode_t LeafMode);

// The absolute directory of the running executable, links resolved, ending in "/".
std::string ExecutableDirectory();

} // namespace NVelmora
