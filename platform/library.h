#pragma once

#include <string>

namespace NVelmora {

// Loads a shared library by file name with lazy binding, through the loader's usual
// search. Gives null when it cannot be loaded. Libraries loaded here stay loaded.
void* LoadLibrary(const std::string& FileName);

void* FindSymbol(void* Library, const char* Name);

// Fills a typed function pointer from a loaded library; false when the name is absent.
template <class Fn>
bool Lookup(void* Library, const char* Name, Fn*& Slot) {
  Slot = reinterpret_cast<Fn*>(FindSymbol(Library, Name));
  return Slot != nullptr;
}

} // namespace NVelmora
