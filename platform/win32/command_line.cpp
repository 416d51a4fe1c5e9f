#include <windows.h>

#include <cstring>

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

/// The runtime's own copies of the command line (msvcrt's _acmdln and
/// _wcmdln), when it keeps them apart from the system's buffers.
template <typename Char>
Char* RuntimeCopy(const char* name, const Char* systemLine) {
  HMODULE runtime = GetModuleHandleA("msvcrt.dll");
  if (runtime == nullptr) return nullptr;
  auto* variable = reinterpret_cast<Char**>(GetProcAddress(runtime, name));
  if (variable == nullptr || *variable == systemLine) return nullptr;
  return *variable;
}

}  // namespace

void ScrubArgument(char** argv, int index, unsigned offset) {
  char* const value = argv[index] + offset;
  const std::size_t length = std::strlen(value);

  char* const lineA = GetCommandLineA();
  ScrubCommandLine(lineA, index, offset, value);
  ScrubCommandLine(RuntimeCopy<char>("_acmdln", lineA), index, offset, value);

  // The wide line holds the same text; a value too long for the buffer
  // here is rare enough to overwrite the whole argument part instead.
  wchar_t* const lineW = GetCommandLineW();
  wchar_t* const copyW = RuntimeCopy<wchar_t>("_wcmdln", lineW);
  wchar_t wideValue[1024] = {};
  const int wideOffset = offset == 0 ? 0
                                     : MultiByteToWideChar(CP_ACP, 0, argv[index],
                                                           static_cast<int>(offset), nullptr, 0);
  if (MultiByteToWideChar(CP_ACP, 0, value, -1, wideValue, 1024) != 0) {
    ScrubCommandLine(lineW, index, static_cast<unsigned>(wideOffset), wideValue);
    ScrubCommandLine(copyW, index, static_cast<unsigned>(wideOffset), wideValue);
  } else {
    ScrubAllArguments(lineW);
    ScrubAllArguments(copyW);
  }
  SecureZeroMemory(wideValue, sizeof wideValue);

  SecureZeroMemory(value, length);
}

}  // namespace platform
