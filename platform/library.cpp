// Library loading both backends share: a name not found is not searched for
// again in the same process.

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

}  // namespace

Library OpenLibrary(const char* bareName) {
  if (KnownMissing(bareName)) return nullptr;
  Library library = backend::FindLibrary(bareName);
  if (library == nullptr) RememberMissing(bareName);
  return library;
}

}  // namespace platform
