#pragma once
// The search each backend supplies to the library loading both share
// (library.cpp). Private to the platform layer.

#include "platform/platform.h"

namespace platform::backend {

/// Loads the library of a bare name ("tloxtrc") from the places the
/// backend searches, never the current directory; null when it is in none.
Library FindLibrary(const char* bareName);

}  // namespace platform::backend
