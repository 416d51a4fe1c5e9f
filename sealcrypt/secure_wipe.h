#pragma once
// A wipe of secrets that the compiler may not drop as a dead store.

#include <cstddef>

/// Sets `count` bytes at `bytes` to zero through volatile writes followed by
/// a compiler barrier. A null `bytes` is ignored.
void SecureWipe(void* bytes, std::size_t count);
