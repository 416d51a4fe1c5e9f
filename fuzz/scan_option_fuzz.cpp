// Feeds ScanOption argument lists cut from the input at zero bytes, the
// first segment serving as the option string, and checks what a caller
// relies on: the index stays within the list, values point into it, and a
// scan that goes on past '?' ends (the byte 0x82 case excepted, which keeps
// the index and so is stopped after a repeat).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "credseal/scan_option.h"

namespace {

bool PointsInto(const char* p, const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (p >= a.data() && p <= a.data() + a.size()) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      parts.emplace_back();
    } else {
      parts.back().push_back(static_cast<char>(data[i]));
    }
  }
  const std::string optionString = parts.front();
  std::vector<std::string> args(parts.begin() + 1, parts.end());
  args.insert(args.begin(), "credseal");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(args.size());

  optionIndex = 1;
  optionValue = nullptr;
  optionGroupPos = nullptr;
  optionBadChar = 0;
  int previousIndex = optionIndex;
  bool repeated = false;
  for (int calls = 0;; ++calls) {
    const int result = ScanOption(argc, argv.data(), optionString.c_str());
    if (optionIndex < 1 || optionIndex > argc) std::abort();
    if (optionValue != nullptr && !PointsInto(optionValue, args)) std::abort();
    if (optionGroupPos != nullptr && !PointsInto(optionGroupPos, args)) std::abort();
    if (result == -1) break;
    if (result == '?' && optionIndex == previousIndex && optionGroupPos == nullptr) {
      // Only the double-byte lead keeps the index on a '?'.
      if (static_cast<unsigned char>(optionBadChar & 0xff) != 0x82) std::abort();
      if (repeated) break;
      repeated = true;
    }
    previousIndex = optionIndex;
    if (calls > 4 * static_cast<int>(size) + 8) std::abort();
  }
  return 0;
}
