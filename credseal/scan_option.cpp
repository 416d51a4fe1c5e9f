#include "credseal/scan_option.h"

int optionIndex = 1;
char* optionValue = nullptr;
char* optionGroupPos = nullptr;
int optionBadChar = 0;

namespace {

constexpr unsigned char kDoubleByteLead = 0x82;

/// Position of `ch` in the option string, the ":" markers included; the
/// terminator is never compared, so a lone "-" is not found.
const char* FindOption(const char* optionString, char ch) {
  for (const char* p = optionString; *p != '\0'; ++p) {
    if (*p == ch) {
      return p;
    }
  }
  return nullptr;
}

}  // namespace

int ScanOption(int argc, char* const argv[], const char* optionString) {
  char* const group = optionGroupPos;
  optionValue = nullptr;
  optionGroupPos = nullptr;

  if (optionIndex >= argc) {
    return -1;
  }
  char* const arg = argv[optionIndex];
  if (arg[0] != '-') {
    optionValue = arg;
    return -1;
  }

  char* const pos = group != nullptr ? group + 1 : arg + 1;
  const char ch = *pos;
  const char* const spec = FindOption(optionString, ch);

  if (spec == nullptr) {
    const auto lead = static_cast<unsigned char>(ch);
    if (lead == kDoubleByteLead) {
      optionBadChar = lead | (static_cast<unsigned char>(pos[1]) << 8);
      return '?';
    }
    optionBadChar = lead;
    ++optionIndex;
    return '?';
  }

  if (spec[1] == ':') {
    int consumed = 1;
    if (pos[1] != '\0') {
      optionValue = pos + 1;
    } else if (optionIndex + 1 < argc) {
      optionValue = argv[optionIndex + 1];
      consumed = 2;
    }
    if (optionValue == nullptr || optionValue[0] == '-') {
      optionBadChar = static_cast<unsigned char>(ch);
      ++optionIndex;
      return '?';
    }
    optionIndex += consumed;
    return static_cast<unsigned char>(ch);
  }

  if (pos[1] != '\0') {
    optionGroupPos = pos;
    return static_cast<unsigned char>(ch);
  }
  ++optionIndex;
  return static_cast<unsigned char>(ch);
}
