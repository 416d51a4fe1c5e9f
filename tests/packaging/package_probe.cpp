// Reads a Windows file's resources as the system does, for the package
// suite (a 64-bit process reads a 32-bit file as data):
//   resource_probe message FILE ID [STRING]  the text of message ID (hex),
//                                            with STRING as insertion %1, or
//                                            inserts left as they are
//   resource_probe version FILE              the version resource, one
//                                            "Name=value" line per field
// Exit 1, with the system's error code, when the resource cannot be had.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

int Failed(const char* what) {
  std::printf("%s failed: %lu\n", what, GetLastError());
  return 1;
}

int Message(const char* file, const char* id, const char* insertion) {
  HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return Failed("LoadLibraryExA");
  char text[2048];
  DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion)};
  const DWORD flags =
      FORMAT_MESSAGE_FROM_HMODULE |
      (insertion != nullptr ? FORMAT_MESSAGE_ARGUMENT_ARRAY : FORMAT_MESSAGE_IGNORE_INSERTS);
  const DWORD n = FormatMessageA(flags, module, std::strtoul(id, nullptr, 16), 0, text, sizeof text,
                                 reinterpret_cast<va_list*>(arguments));
  if (n == 0) return Failed("FormatMessageA");
  std::fwrite(text, 1, n, stdout);
  return 0;
}

int Version(const char* file) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(file, &handle);
  static char data[16384];
  if (size == 0 || size > sizeof data) return Failed("GetFileVersionInfoSizeA");
  if (!GetFileVersionInfoA(file, 0, size, data)) return Failed("GetFileVersionInfoA");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data, "\\", reinterpret_cast<void**>(&fixed), &length)) {
    return Failed("VerQueryValueA");
  }
  std::printf("Fixed=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
              fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
              fixed->dwFileVersionLS & 0xFFFF);
  for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "OriginalFilename",
                           "ProductName", "ProductVersion"}) {
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", name);
    char* value = nullptr;
    if (!VerQueryValueA(data, query, reinterpret_cast<void**>(&value), &length)) {
      return Failed(query);
    }
    std::printf("%s=%s\n", name, value);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "message") == 0) {
    return Message(argv[2], argv[3], argc > 4 ? argv[4] : nullptr);
  }
  if (argc == 3 && std::strcmp(argv[1], "version") == 0) return Version(argv[2]);
  std::fprintf(stderr, "usage: resource_probe message FILE ID [STRING] | version FILE\n");
  return 2;
}
