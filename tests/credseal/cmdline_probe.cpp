// A look-alike of the trace library for the behaviour suite: it exports the
// eight entry points, marks every channel open, and on each record appends
// one line to the file named by CMDLINE_PROBE_LOG: the record's text, the
// number of copies of the password in the process's writable memory, then
// the process's command line as the system shows it (POSIX:
// /proc/self/cmdline; Windows: GetCommandLineA, then GetCommandLineW as
// UTF-8), fields separated by a tab and zero bytes shown as spaces. The
// suite compares the START record, written before the scan of the options,
// with the END record, written once the password was wiped.
//
// The password comes in CMDLINE_PROBE_SECRET as hex digits of each byte
// XOR 0xFF and is compared in that form, so the probe itself never holds
// it; it is counted as bytes and as UTF-16 (ASCII passwords). What the
// probe copies of the command line it wipes again, and it writes with the
// system's own calls, so no stdio buffer keeps a copy either.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#define PROBE_CALL __cdecl
#else
#include <fcntl.h>
#include <unistd.h>
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#define PROBE_CALL
#endif

namespace {

constexpr std::size_t kLineCapacity = 16384;
constexpr std::size_t kNeedleCapacity = 256;

/// The password, each byte XOR 0xFF.
struct Needle {
  unsigned char encoded[kNeedleCapacity];
  std::size_t length;
};

void Wipe(void* bytes, std::size_t count) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(bytes);
  for (std::size_t i = 0; i < count; ++i) p[i] = 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// False without a usable CMDLINE_PROBE_SECRET.
bool ReadNeedle(Needle* needle) {
  const char* hex = std::getenv("CMDLINE_PROBE_SECRET");
  needle->length = 0;
  if (hex == nullptr) return false;
  for (; hex[0] != '\0' && hex[1] != '\0' && needle->length < kNeedleCapacity; hex += 2) {
    if (HexDigit(hex[0]) < 0 || HexDigit(hex[1]) < 0) return false;
    needle->encoded[needle->length++] =
        static_cast<unsigned char>(HexDigit(hex[0]) * 16 + HexDigit(hex[1]));
  }
  return needle->length > 0;
}

/// Copies of the needle in [begin, begin + size): as bytes (`stride` 1) or
/// as UTF-16 code units (`stride` 2, the high byte zero).
std::size_t CountIn(const volatile unsigned char* begin, std::size_t size, const Needle& needle,
                    std::size_t stride) {
  const std::size_t span = needle.length * stride;
  std::size_t hits = 0;
  for (std::size_t i = 0; i + span <= size; ++i) {
    std::size_t k = 0;
    while (k < needle.length && (begin[i + k * stride] ^ 0xFF) == needle.encoded[k] &&
           (stride == 1 || begin[i + k * stride + 1] == 0)) {
      ++k;
    }
    if (k == needle.length) ++hits;
  }
  return hits;
}

std::size_t CountRegion(const void* begin, std::size_t size, const Needle& needle) {
  const auto* bytes = static_cast<const volatile unsigned char*>(begin);
  return CountIn(bytes, size, needle, 1) + CountIn(bytes, size, needle, 2);
}

/// Nothing the programs own is this large: only a sanitizer's shadow
/// memory, which holds no bytes of theirs.
constexpr std::size_t kLargestRegion = std::size_t{1} << 26;

#ifdef _WIN32

// GCC 12 takes the header's read of the TEB's own address for an access
// beyond an array of size zero.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const char* ThreadBlock() { return reinterpret_cast<const char*>(NtCurrentTeb()); }
#pragma GCC diagnostic pop

/// A range the scan leaves out.
struct Skipped {
  const char* begin;
  const char* end;
};

/// Where a Windows process has nothing of its own but Wine keeps its
/// debug-string ring, which formats the command line as the process
/// starts: the 2 KiB at 0x3000 into the thread's TEB block, past the 64-bit
/// TEB and the 32-bit one at 0x2000. Empty on Windows.
Skipped WineDebugStrings() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return {};
  // A 32-bit program's TEB is the block's 32-bit one.
  const char* block = ThreadBlock() - (sizeof(void*) == 4 ? 0x2000 : 0);
  return {block + 0x3000, block + 0x3800};
}

bool Scanned(const MEMORY_BASIC_INFORMATION& region) {
  constexpr DWORD kWritable =
      PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return region.State == MEM_COMMIT && (region.Protect & kWritable) != 0 &&
         (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0 &&
         region.RegionSize <= kLargestRegion;
}

/// Copies in [begin, end) outside the skipped range.
std::size_t CountOutside(const char* begin, const char* end, Skipped skipped,
                         const Needle& needle) {
  if (skipped.end <= begin || skipped.begin >= end) {
    return CountRegion(begin, static_cast<std::size_t>(end - begin), needle);
  }
  std::size_t hits = 0;
  if (begin < skipped.begin) {
    hits += CountRegion(begin, static_cast<std::size_t>(skipped.begin - begin), needle);
  }
  if (skipped.end < end) {
    hits += CountRegion(skipped.end, static_cast<std::size_t>(end - skipped.end), needle);
  }
  return hits;
}

/// Every committed writable region VirtualQuery reports, but Wine's own
/// debug strings.
long CountInMemory(const Needle& needle) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const Skipped skipped = WineDebugStrings();
  long hits = 0;
  auto* at = static_cast<const char*>(system.lpMinimumApplicationAddress);
  MEMORY_BASIC_INFORMATION region;
  while (at < system.lpMaximumApplicationAddress &&
         VirtualQuery(at, &region, sizeof region) == sizeof region) {
    const auto* begin = static_cast<const char*>(region.BaseAddress);
    if (Scanned(region)) {
      hits += static_cast<long>(CountOutside(begin, begin + region.RegionSize, skipped, needle));
    }
    at = begin + region.RegionSize;
  }
  return hits;
}

/// GetCommandLineA, a tab, GetCommandLineW as UTF-8.
std::size_t CommandLine(char* line, std::size_t capacity) {
  const char* narrow = GetCommandLineA();
  std::size_t n = 0;
  while (narrow[n] != '\0' && n + 2 < capacity) {
    line[n] = narrow[n];
    ++n;
  }
  line[n++] = '\t';
  const int wide = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line + n,
                                       static_cast<int>(capacity - n), nullptr, nullptr);
  return wide > 1 ? n + static_cast<std::size_t>(wide - 1) : n;
}

void Append(const char* path, const char* bytes, std::size_t length) {
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

#else

/// Parses one line of /proc/self/maps: the region's bounds and whether it
/// is readable and writable.
bool ParseRegion(const char* line, std::size_t* begin, std::size_t* end, bool* writable) {
  char* rest = nullptr;
  *begin = std::strtoull(line, &rest, 16);
  if (*rest != '-') return false;
  *end = std::strtoull(rest + 1, &rest, 16);
  if (*rest != ' ' || rest[1] == '\0' || rest[2] == '\0') return false;
  *writable = rest[1] == 'r' && rest[2] == 'w';
  return true;
}

/// Every readable, writable mapping /proc/self/maps lists, stack and heap
/// included.
long CountInMemory(const Needle& needle) {
  static char maps[1 << 16];
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  std::size_t used = 0;
  for (ssize_t n; (n = read(fd, maps + used, sizeof maps - 1 - used)) > 0;) {
    used += static_cast<std::size_t>(n);
  }
  close(fd);
  maps[used] = '\0';
  long hits = 0;
  for (char* line = maps; *line != '\0';) {
    char* next = std::strchr(line, '\n');
    if (next != nullptr) *next++ = '\0';
    std::size_t begin = 0;
    std::size_t end = 0;
    bool writable = false;
    if (ParseRegion(line, &begin, &end, &writable) && writable && end - begin <= kLargestRegion) {
      hits +=
          static_cast<long>(CountRegion(reinterpret_cast<const void*>(begin), end - begin, needle));
    }
    line = next != nullptr ? next : line + std::strlen(line);
  }
  return hits;
}

/// /proc/self/cmdline, zero bytes as spaces.
std::size_t CommandLine(char* line, std::size_t capacity) {
  const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t n = 0;
  for (ssize_t r; n < capacity && (r = read(fd, line + n, capacity - n)) > 0;) {
    n += static_cast<std::size_t>(r);
  }
  close(fd);
  for (std::size_t i = 0; i < n; ++i) {
    if (line[i] == '\0') line[i] = ' ';
  }
  return n;
}

void Append(const char* path, const char* bytes, std::size_t length) {
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  [[maybe_unused]] const ssize_t n = write(fd, bytes, length);
  close(fd);
}

#endif

/// TEXT, tab, the copies found (-1 without a password to look for), tab,
/// the command line, line end.
void Record(const char* path, const char* text) {
  char line[kLineCapacity];
  std::size_t n = 0;
  while (text[n] != '\0' && n < 64) {
    line[n] = text[n];
    ++n;
  }
  line[n++] = '\t';
  Needle needle;
  const long copies = ReadNeedle(&needle) ? CountInMemory(needle) : -1;
  n += static_cast<std::size_t>(std::snprintf(line + n, 24, "%ld", copies));
  line[n++] = '\t';
  n += CommandLine(line + n, sizeof line - n - 1);
  line[n++] = '\n';
  Append(path, line, n);
  Wipe(line, sizeof line);
}

}  // namespace

PROBE_EXPORT int PROBE_CALL TloxOpenTracer(void* handleArea, int, const char*) {
  const unsigned open = 1;
  std::memcpy(handleArea, &open, sizeof open);
  return 1;
}

PROBE_EXPORT int PROBE_CALL TloxTrace(void*, int, int, const char*, int, int, int, int, int,
                                      const void* data) {
  const char* path = std::getenv("CMDLINE_PROBE_LOG");
  if (path == nullptr) return 0;
  Record(path, static_cast<const char*>(data));
  return 1;
}

PROBE_EXPORT int PROBE_CALL TloxCloseTracer(void*, int) { return 1; }
PROBE_EXPORT int PROBE_CALL TloxTraceCheck(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxSnap(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxDump(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxSetMemoryDump(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxRelMemoryDump(void*) { return 0; }
