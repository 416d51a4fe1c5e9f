#pragma once
// The one way the POSIX backend names the file a path finally leads to.
// Private to the backend; defined in files.cpp.

#include <cstddef>

namespace platform {

/// The file `path` finally names, links at its end followed (also to a
/// target that does not exist yet), as its resolved directory and its
/// name, into `out` (`capacity` bytes, PATH_MAX or more). False when the
/// directory cannot be resolved, there are too many links, or it does not
/// fit.
bool ResolvedName(const char* path, char* out, std::size_t capacity);

}  // namespace platform
