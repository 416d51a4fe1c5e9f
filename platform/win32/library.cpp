#include <windows.h>

#include <bit>

#include "platform/platform.h"

namespace platform {

Library OpenLibrary(const char* bareName) { return LoadLibraryA(bareName); }

Symbol LibrarySymbol(Library library, const char* name) {
  return std::bit_cast<Symbol>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(Library library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform
