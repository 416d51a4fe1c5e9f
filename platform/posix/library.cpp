#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <bit>

#include "platform/library_backend.h"
#include "platform/platform.h"

namespace platform {

namespace {

/// The dynamic linker's search list while it is walked: far more than the
/// run path, LD_LIBRARY_PATH and the default directories ever take, and
/// too large for the stack of every channel's open.
constexpr size_t kSearchListCapacity = 65536;
alignas(Dl_serinfo) unsigned char searchList[kSearchListCapacity];

/// The directories the dynamic linker searches for the program's own
/// loads (its run path, LD_LIBRARY_PATH, the default directories), as the
/// linker itself lists them, or null. An empty entry of LD_LIBRARY_PATH is
/// listed as ".".
const Dl_serinfo* LinkerSearchList() {
  void* program = dlopen(nullptr, RTLD_LAZY);
  if (program == nullptr) return nullptr;
  auto* list = reinterpret_cast<Dl_serinfo*>(searchList);
  const bool listed = dlinfo(program, RTLD_DI_SERINFOSIZE, list) == 0 &&
                      list->dls_size <= sizeof searchList &&
                      dlinfo(program, RTLD_DI_SERINFO, list) == 0;
  dlclose(program);
  return listed ? list : nullptr;
}

/// The directories of the linker's list named from the root, in its order.
/// A relative one (".", an empty entry, "lib") is looked up from the
/// current directory. A list too long for the buffer is not searched.
Library FromLinkerSearchList(const char* bareName) {
  const Dl_serinfo* list = LinkerSearchList();
  for (unsigned i = 0; list != nullptr && i < list->dls_cnt; ++i) {
    const char* dir = list->dls_serpath[i].dls_name;
    if (dir[0] != '/') continue;
    if (Library library = backend::LoadFrom(dir, strlen(dir), bareName)) return library;
  }
  return nullptr;
}

}  // namespace

Library backend::LoadFrom(const char* dir, size_t length, const char* bareName) {
  while (length > 1 && dir[length - 1] == '/') --length;
  char path[PATH_MAX];
  const int written =
      snprintf(path, sizeof path, "%.*s/lib%s.so", static_cast<int>(length), dir, bareName);
  if (written < 0 || static_cast<size_t>(written) >= sizeof path) return nullptr;
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

// Where the dynamic linker would look, except the current directory, from
// which anyone who can write where an administrator starts a program could
// plant a library in the process that holds the password. Each is loaded
// by its full path: a bare name would let the linker search every entry of
// LD_LIBRARY_PATH.
Library backend::FindElsewhere(const char* bareName) { return FromLinkerSearchList(bareName); }

Symbol LibrarySymbol(Library library, const char* name) {
  return std::bit_cast<Symbol>(dlsym(library, name));
}

void CloseLibrary(Library library) { dlclose(library); }

}  // namespace platform
