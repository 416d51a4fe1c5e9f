#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <bit>

#include "platform/library_backend.h"
#include "platform/platform.h"

namespace platform {

namespace {

// "lib<name>.so" after `prefix`; false when it does not fit.
bool SharedObjectName(char* buffer, size_t capacity, const char* prefix, size_t prefixLength,
                      const char* bareName) {
  const int written =
      snprintf(buffer, capacity, "%.*s/lib%s.so", static_cast<int>(prefixLength), prefix, bareName);
  return written >= 0 && static_cast<size_t>(written) < capacity;
}

}  // namespace

// The program's own directory first, as Windows searches the application
// directory before the system's; then the dynamic linker's search path,
// which never holds the current directory unless configured to.
Library backend::FindLibrary(const char* bareName) {
  char candidate[PATH_MAX];
  char program[PATH_MAX];
  const uint32_t length = ModulePath(program, sizeof program);
  if (length > 0 && length < sizeof program) {
    const char* slash = strrchr(program, '/');
    if (slash != nullptr && SharedObjectName(candidate, sizeof candidate, program,
                                             static_cast<size_t>(slash - program), bareName)) {
      if (Library library = dlopen(candidate, RTLD_NOW | RTLD_LOCAL)) return library;
    }
  }
  const int written = snprintf(candidate, sizeof candidate, "lib%s.so", bareName);
  if (written < 0 || static_cast<size_t>(written) >= sizeof candidate) return nullptr;
  return dlopen(candidate, RTLD_NOW | RTLD_LOCAL);
}

Symbol LibrarySymbol(Library library, const char* name) {
  return std::bit_cast<Symbol>(dlsym(library, name));
}

void CloseLibrary(Library library) { dlclose(library); }

}  // namespace platform
