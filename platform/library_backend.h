#pragma once
// What each backend supplies to the library loading both share
// (library.cpp). Private to the platform layer.

#include <cstddef>

#include "platform/platform.h"

namespace platform::backend {

/// Loads the library of a bare name ("tloxtrc": lib<name>.so, <name>.dll)
/// from the directory in the first `length` characters of `dir`, by its
/// full path, so no search is involved; null when it is not there.
Library LoadFrom(const char* dir, std::size_t length, const char* bareName);

/// Loads it from the places the backend searches after the program's own
/// directory, never the current directory; null when it is in none.
Library FindElsewhere(const char* bareName);

}  // namespace platform::backend
