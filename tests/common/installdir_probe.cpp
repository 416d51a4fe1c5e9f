// Prints what GetInstallDir finds for this program, asked with the capacity
// given (260 by default) into a buffer of exactly that size, and the etc
// path of FILE when one is named:
//   installdir_probe [CAPACITY [FILE]]
// Output lines: "module=<ModulePath>", "result=<n>", then "dir=<dir>" on
// success or "buffer=unchanged|changed" on failure, then "etc=<path>" or
// "etc=failed".

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/install_dir.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const unsigned capacity =
      argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : kPathCapacity;
  char module[kPathCapacity] = {};
  platform::ModulePath(module, sizeof module);
  std::printf("module=%s\n", module);

  // Exactly `capacity` bytes, so a write past them is a sanitizer report.
  std::vector<char> buffer(capacity > 0 ? capacity : 1, '#');
  const std::vector<char> before = buffer;
  const int result = GetInstallDir(buffer.data(), capacity);
  std::printf("result=%d\n", result);
  if (result != 0) {
    std::printf("buffer=%s\n", buffer == before ? "unchanged" : "changed");
    return 0;
  }
  std::printf("dir=%s\n", buffer.data());
  if (argc > 2) {
    char path[kPathCapacity];
    if (JoinEtcPath(path, sizeof path, buffer.data(), argv[2])) {
      std::printf("etc=%s\n", path);
    } else {
      std::printf("etc=failed\n");
    }
  }
  return 0;
}
