#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <bit>

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

/// The last bare name that was not found. The relay looks for the trace
/// library once per channel, four times a run; when it is absent, each
/// search walks every directory of the dynamic linker's path, which costs
/// a process started per alert more than the rest of its work.
char missingName[64];

bool KnownMissing(const char* bareName) { return strcmp(missingName, bareName) == 0; }

void RememberMissing(const char* bareName) {
  if (strlen(bareName) < sizeof missingName) strcpy(missingName, bareName);
}

Library Search(const char* bareName) {
  char candidate[PATH_MAX];
  // The program's own directory first, as Windows searches the
  // application directory before the system's.
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

}  // namespace

Library OpenLibrary(const char* bareName) {
  if (KnownMissing(bareName)) return nullptr;
  Library library = Search(bareName);
  if (library == nullptr) RememberMissing(bareName);
  return library;
}

Symbol LibrarySymbol(Library library, const char* name) {
  return std::bit_cast<Symbol>(dlsym(library, name));
}

void CloseLibrary(Library library) { dlclose(library); }

}  // namespace platform
