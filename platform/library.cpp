#include "platform/library.h"

#include <dlfcn.h>

namespace NVelmora {

void* LoadLibrary(const std::string& FileName) {
  return ::dlopen(FileName.c_str(), RTLD_LAZY);
}

void* FindSymbol(void* Library, const char* Name) {
  return Library == nullptr ? nullptr : ::dlsym(Library, Name);
}

} // namespace NVelmora
