// unseal: prints the password sealed in a credential line ("dsn,user,sealed")
// or in a bare sealed text, unsealed under the command's built-in key
// phrases. A helper for the demo and the tests; never shipped.

#include <cstdio>
#include <string>

#include "sealcrypt/sealcrypt.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: unseal CREDENTIAL-LINE | SEALED-TEXT\n", stderr);
    return 2;
  }
  std::string sealed = argv[1];
  while (!sealed.empty() && (sealed.back() == '\n' || sealed.back() == '\r')) {
    sealed.pop_back();
  }
  // The sealed text never holds a comma; names before it may.
  if (const auto comma = sealed.rfind(','); comma != std::string::npos) {
    sealed.erase(0, comma + 1);
  }

  char keyString1[kKeyStringCapacity] = {};
  char keyString2[kKeyStringCapacity] = {};
  char plaintext[kPlaintextCapacity] = {};
  if (DeriveKeyStrings(KeyPhrase1, KeyPhrase2, keyString1, keyString2) != 0 ||
      SealCrypt(keyString1, keyString2, plaintext, sealed.data(), MODE_UNSEAL) != 0) {
    std::fputs("unseal: not a sealed text\n", stderr);
    return 1;
  }
  std::printf("%s\n", plaintext);
  return 0;
}
