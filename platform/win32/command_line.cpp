#include <windows.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "platform/platform.h"

namespace platform {

namespace {

template <typename Char>
bool IsBlank(Char c) {
  return c == ' ' || c == '\t';
}

/// Walks a command line as the runtime splits it into arguments and calls
/// `visit`(character, raw, count) for each character that argument `index`
/// receives, with the `count` raw characters it comes from. Quotes that only
/// open or close a quoted part produce nothing and are not visited, so
/// overwriting what is visited keeps the argument boundaries. False when the
/// line has fewer arguments.
template <typename Char, typename Visit>
bool VisitArgument(Char* line, int index, Visit visit) {
  Char* p = line;
  // The program name knows no escapes: quotes only group.
  bool quoted = false;
  while (*p != 0 && (quoted || !IsBlank(*p))) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  for (int arg = 1;; ++arg) {
    while (IsBlank(*p)) ++p;
    if (*p == 0) return false;
    const bool wanted = arg == index;
    quoted = false;
    for (;;) {
      Char* const run = p;
      unsigned slashes = 0;
      while (*p == '\\') {
        ++p;
        ++slashes;
      }
      if (*p == '"') {
        // 2n backslashes before a quote give n; 2n + 1 give n and a quote.
        for (unsigned i = 0; i + 1 < slashes; i += 2) {
          if (wanted) visit(Char('\\'), run + i, 2u);
        }
        if (slashes % 2 == 1) {
          if (wanted) visit(Char('"'), p - 1, 2u);
        } else if (quoted && p[1] == '"') {
          if (wanted) visit(Char('"'), p, 2u);
          ++p;
        } else {
          quoted = !quoted;
        }
        ++p;
        continue;
      }
      for (unsigned i = 0; i < slashes; ++i) {
        if (wanted) visit(Char('\\'), run + i, 1u);
      }
      if (*p == 0 || (!quoted && IsBlank(*p))) break;
      if (wanted) visit(*p, p, 1u);
      ++p;
    }
    if (wanted) return true;
  }
}

/// Overwrites every character after the program name: the last resort when
/// a line does not split as expected (the program has its own argv copy).
template <typename Char>
void ScrubAllArguments(Char* line) {
  if (line == nullptr) return;
  Char* p = line;
  bool quoted = false;
  while (*p != 0 && (quoted || !IsBlank(*p))) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  for (; *p != 0; ++p) {
    if (!IsBlank(*p)) *p = '*';
  }
}

/// Overwrites the raw characters behind argument `index` from `offset` on,
/// once the walk has been checked to give exactly `expected` there.
template <typename Char>
void ScrubCommandLine(Char* line, int index, unsigned offset, const Char* expected) {
  if (line == nullptr) return;
  unsigned produced = 0;
  bool matches = true;
  const bool found = VisitArgument(line, index, [&](Char c, Char*, unsigned) {
    if (matches && produced >= offset) {
      const Char want = expected[produced - offset];
      matches = want != 0 && want == c;
    }
    ++produced;
  });
  if (!(matches && found && produced >= offset && expected[produced - offset] == 0)) {
    ScrubAllArguments(line);
    return;
  }
  produced = 0;
  VisitArgument(line, index, [&](Char, Char* raw, unsigned count) {
    if (produced++ >= offset) {
      for (unsigned i = 0; i < count; ++i) raw[i] = '*';
    }
  });
}

/// The address of the C runtime's variable `name` ("__argv", "_acmdln"):
/// its data export, or what its accessor "__p_" NAME returns (ucrtbase
/// exports only those); null where the runtime has neither.
template <typename T>
T* RuntimeVariable(HMODULE runtime, const char* name) {
  if (const FARPROC data = GetProcAddress(runtime, name)) return std::bit_cast<T*>(data);
  char accessor[32] = "__p_";
  std::strncat(accessor, name, sizeof accessor - sizeof "__p_");
  const auto get = std::bit_cast<T*(__cdecl*)()>(GetProcAddress(runtime, accessor));
  return get != nullptr ? get() : nullptr;
}

/// A runtime's own copy of a command line, when it keeps one apart from
/// the system's buffer.
template <typename Char>
Char* RuntimeLine(HMODULE runtime, const char* name, const Char* systemLine) {
  Char** const variable = RuntimeVariable<Char*>(runtime, name);
  if (variable == nullptr || *variable == systemLine) return nullptr;
  return *variable;
}

/// Overwrites argument `index` of a runtime's own argument array from
/// `offset` on, when it holds the program's argument (`argument`) whole.
template <typename Char>
void ScrubRuntimeArgument(Char** runtimeArgv, int index, unsigned offset, const Char* argument) {
  if (runtimeArgv == nullptr) return;
  for (int i = 0; i < index; ++i) {
    if (runtimeArgv[i] == nullptr) return;
  }
  Char* const copy = runtimeArgv[index];
  std::size_t length = 0;
  while (copy != nullptr && copy[length] != 0 && copy[length] == argument[length]) ++length;
  if (copy == nullptr || copy[length] != 0 || argument[length] != 0 || length < offset) return;
  SecureZeroMemory(copy + offset, (length - offset) * sizeof(Char));
}

// The C runtimes that keep copies of the arguments: the program's msvcrt,
// and ucrtbase where a system DLL loads it (under Wine both copy the
// command line and split it when they are loaded).
constexpr const char* kRuntimes[] = {"msvcrt.dll", "ucrtbase.dll"};

/// msvcrt's argument array as it was made when the runtime was loaded. The
/// program's startup code then asks for the arguments again, and under Wine
/// that builds a new array and keeps no pointer to the first.
char** loadedArgv = nullptr;

void NTAPI TakeLoadedArguments(PVOID, DWORD reason, PVOID) {
  if (reason != DLL_PROCESS_ATTACH) return;
  const HMODULE runtime = GetModuleHandleA(kRuntimes[0]);
  char*** const argv = runtime != nullptr ? RuntimeVariable<char**>(runtime, "__argv") : nullptr;
  if (argv != nullptr) loadedArgv = *argv;
}

// A TLS callback of the program: the loader calls it once the DLLs the
// program imports are initialised, before the program's entry point.
[[gnu::section(".CRT$XLB"), gnu::used]] const PIMAGE_TLS_CALLBACK takeLoadedArguments =
    TakeLoadedArguments;

// Where 64-bit Windows keeps the command line of a 32-bit program's 64-bit
// process parameters: TEB32.WowTebOffset leads to the 64-bit TEB, whose
// ProcessEnvironmentBlock leads to the 64-bit PEB, whose ProcessParameters
// hold CommandLine, a UNICODE_STRING64.
constexpr std::size_t kWowTebOffset = 0xFDC;
constexpr std::size_t kTebPeb = 0x60;
constexpr std::size_t kPebParameters = 0x20;
constexpr std::size_t kParametersCommandLine = 0x70;

// GCC 12 takes the header's read of the TEB's own address for an access
// beyond an array of size zero.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
std::uintptr_t ThreadBlock() { return reinterpret_cast<std::uintptr_t>(NtCurrentTeb()); }
#pragma GCC diagnostic pop

template <typename T>
T ReadAt(std::uint64_t address) {
  T value;
  std::memcpy(&value, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)),
              sizeof value);
  return value;
}

/// The 64-bit process parameters that 64-bit Windows keeps for a 32-bit
/// program beside its own; 0 in a 64-bit program, on 32-bit Windows, or
/// where they lie beyond the 4 GiB a 32-bit program can reach.
std::uint64_t NativeParameters() {
  BOOL wow64 = FALSE;
  if (sizeof(void*) != 4 || !IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return 0;
  const std::uintptr_t teb = ThreadBlock();
  const auto teb64 = teb + static_cast<std::uintptr_t>(ReadAt<LONG>(teb + kWowTebOffset));
  const auto peb64 = teb64 == teb ? 0 : ReadAt<std::uint64_t>(teb64 + kTebPeb);
  if (peb64 == 0 || peb64 > UINT32_MAX) return 0;
  const auto parameters = ReadAt<std::uint64_t>(peb64 + kPebParameters);
  return parameters <= UINT32_MAX ? parameters : 0;
}

/// The command line of the 64-bit process parameters: what other processes
/// read as a 32-bit program's command line on 64-bit Windows. Null where
/// there are none, or where the buffer lacks the terminator the walk needs.
wchar_t* NativeCommandLine() {
  const std::uint64_t parameters = NativeParameters();
  if (parameters == 0) return nullptr;
  const auto length = ReadAt<USHORT>(parameters + kParametersCommandLine);
  const auto capacity = ReadAt<USHORT>(parameters + kParametersCommandLine + 2);
  const auto buffer = ReadAt<std::uint64_t>(parameters + kParametersCommandLine + 8);
  if (buffer == 0 || buffer > UINT32_MAX || capacity < length + sizeof(wchar_t) ||
      ReadAt<wchar_t>(buffer + length) != 0) {
    return nullptr;
  }
  return reinterpret_cast<wchar_t*>(static_cast<std::uintptr_t>(buffer));
}

constexpr int kWideCapacity = 1024;

/// The argument in UTF-16, as the wide copies hold it, and where the part
/// from its byte offset begins.
struct WideArgument {
  wchar_t text[kWideCapacity];
  unsigned offset;
};

/// False when the argument does not convert, or is too long for the buffer.
bool Widen(const char* argument, unsigned offset, WideArgument* wide) {
  const int prefix =
      offset == 0 ? 0
                  : MultiByteToWideChar(CP_ACP, 0, argument, static_cast<int>(offset), nullptr, 0);
  wide->offset = static_cast<unsigned>(prefix);
  return MultiByteToWideChar(CP_ACP, 0, argument, -1, wide->text, kWideCapacity) != 0;
}

/// Every copy of the whole command line, null where there is none.
struct CommandLines {
  char* narrow[1 + std::size(kRuntimes)];
  wchar_t* wide[2 + std::size(kRuntimes)];
};

/// The system's lines, the runtimes' own copies, and on 64-bit Windows the
/// 64-bit parameters' line.
CommandLines FindCommandLines() {
  CommandLines lines = {{GetCommandLineA()}, {GetCommandLineW(), NativeCommandLine()}};
  for (std::size_t i = 0; i < std::size(kRuntimes); ++i) {
    const HMODULE runtime = GetModuleHandleA(kRuntimes[i]);
    if (runtime == nullptr) continue;
    lines.narrow[1 + i] = RuntimeLine<char>(runtime, "_acmdln", lines.narrow[0]);
    lines.wide[2 + i] = RuntimeLine<wchar_t>(runtime, "_wcmdln", lines.wide[0]);
  }
  return lines;
}

void ScrubCommandLines(int index, unsigned offset, const char* value, const WideArgument* wide) {
  const CommandLines lines = FindCommandLines();
  for (char* line : lines.narrow) ScrubCommandLine(line, index, offset, value);
  // An argument too long for the wide buffer is rare enough to overwrite
  // the whole argument part instead.
  for (wchar_t* line : lines.wide) {
    if (wide != nullptr) {
      ScrubCommandLine(line, index, wide->offset, wide->text + wide->offset);
    } else {
      ScrubAllArguments(line);
    }
  }
}

/// Every runtime's own split of the arguments, narrow and wide, and the
/// array msvcrt made when it was loaded.
void ScrubRuntimeArguments(int index, unsigned offset, const char* argument,
                           const WideArgument* wide) {
  ScrubRuntimeArgument(loadedArgv, index, offset, argument);
  for (const char* name : kRuntimes) {
    const HMODULE runtime = GetModuleHandleA(name);
    if (runtime == nullptr) continue;
    if (char*** argv = RuntimeVariable<char**>(runtime, "__argv")) {
      ScrubRuntimeArgument(*argv, index, offset, argument);
    }
    wchar_t*** const wargv = RuntimeVariable<wchar_t**>(runtime, "__wargv");
    if (wargv != nullptr && wide != nullptr) {
      ScrubRuntimeArgument(*wargv, index, wide->offset, wide->text);
    }
  }
}

}  // namespace

void ScrubArgument(char** argv, int index, unsigned offset) {
  char* const value = argv[index] + offset;
  WideArgument wide;
  const bool widened = Widen(argv[index], offset, &wide);
  ScrubCommandLines(index, offset, value, widened ? &wide : nullptr);
  ScrubRuntimeArguments(index, offset, argv[index], widened ? &wide : nullptr);
  SecureZeroMemory(&wide, sizeof wide);
  SecureZeroMemory(value, std::strlen(value));
}

}  // namespace platform
