// Reads what the package holds as Windows does, for the package suite (a
// 64-bit process reads a 32-bit file as data):
//   package_probe message FILE ID [STRING]  the text of message ID (hex),
//                                           with STRING as insertion %1, or
//                                           inserts left as they are
//   package_probe version FILE              the version resource, one
//                                           "Name=value" line per field
//   package_probe sddl TEXT                 the security descriptor TEXT
//                                           describes: its owner, whether
//                                           its DACL is protected, and one
//                                           line per entry
// Exit 1, with the system's error code, when the resource cannot be had or
// the text does not parse.

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

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

/// "S-1-5-18" for a SID; "?" when it cannot be written.
void PrintSid(const char* label, PSID sid) {
  char* text = nullptr;
  std::printf("%s=%s\n", label, ConvertSidToStringSidA(sid, &text) ? text : "?");
  LocalFree(text);
}

int Sddl(const char* text) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return Failed("ConvertStringSecurityDescriptorToSecurityDescriptorA");
  }
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr) {
    PrintSid("owner", owner);
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  std::printf("protected=%d\n", (control & SE_DACL_PROTECTED) != 0 ? 1 : 0);
  BOOL present = FALSE;
  ACL* dacl = nullptr;
  if (GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl) {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* entry = nullptr;
      if (!GetAce(dacl, i, &entry)) continue;
      const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
      char label[64];
      std::snprintf(label, sizeof label, "ace type=%u flags=0x%02x mask=0x%08lx sid",
                    ace->Header.AceType, ace->Header.AceFlags, ace->Mask);
      PrintSid(label, const_cast<DWORD*>(&ace->SidStart));
    }
  }
  LocalFree(descriptor);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "message") == 0) {
    return Message(argv[2], argv[3], argc > 4 ? argv[4] : nullptr);
  }
  if (argc == 3 && std::strcmp(argv[1], "version") == 0) return Version(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "sddl") == 0) return Sddl(argv[2]);
  std::fprintf(stderr,
               "usage: package_probe message FILE ID [STRING] | version FILE | sddl TEXT\n");
  return 2;
}
