// profile_probe FILE DEFAULT SECTION KEY [SECTION KEY ...]
// Prints, one per line, the value platform::ProfileInt gives for each
// section and key: GetPrivateProfileIntA in the Windows build, the POSIX
// reader in the POSIX build. The differential test compares the two.

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc < 3 || (argc - 3) % 2 != 0) {
    std::fputs("usage: profile_probe FILE DEFAULT SECTION KEY [SECTION KEY ...]\n", stderr);
    return 2;
  }
  const int defaultValue = std::atoi(argv[2]);
  for (int i = 3; i < argc; i += 2) {
    std::printf("%d\n", platform::ProfileInt(argv[i], argv[i + 1], defaultValue, argv[1]));
  }
  return 0;
}
