// Library loading both backends share: the program's own directory first,
// as Windows searches the application directory before the system's, then
// the backend's other places; a name not found is not searched for again in
// the same process.

#include <cstring>

#include "platform/library_backend.h"
#include "platform/platform.h"

namespace platform {

namespace {

/// The last bare name that was not found. The relay looks for the trace
/// library once per channel, four times a run; when it is absent, each
/// search walks every directory of the search path, which costs a process
/// started per alert more than the rest of its work.
char missingName[64];

bool KnownMissing(const char* bareName) { return std::strcmp(missingName, bareName) == 0; }

void RememberMissing(const char* bareName) {
  if (std::strlen(bareName) < sizeof missingName) std::strcpy(missingName, bareName);
}

/// Room for the program's own path on either system (PATH_MAX, and far
/// more than MAX_PATH).
constexpr uint32_t kProgramPathCapacity = 4096;

Library FromProgramDirectory(const char* bareName) {
  char program[kProgramPathCapacity];
  const uint32_t length = ModulePath(program, sizeof program);
  if (length == 0 || length >= sizeof program) return nullptr;
  const char* separator = std::strrchr(program, kPathSeparator);
  return separator != nullptr
             ? backend::LoadFrom(program, static_cast<std::size_t>(separator - program), bareName)
             : nullptr;
}

}  // namespace

Library OpenLibrary(const char* bareName) {
  if (KnownMissing(bareName)) return nullptr;
  Library library = FromProgramDirectory(bareName);
  if (library == nullptr) library = backend::FindElsewhere(bareName);
  if (library == nullptr) RememberMissing(bareName);
  return library;
}

}  // namespace platform
