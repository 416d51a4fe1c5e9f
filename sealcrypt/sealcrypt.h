#pragma once
// SealCrypt, the kit's sealing cipher: one entry for six modes under two
// key strings, and the derivation of those key strings from two phrases.
// Every call derives its own cipher state; nothing keyed outlives it.

#include <cstddef>

/// The modes of SealCrypt.
enum SealCryptMode : unsigned {
  MODE_SEAL_TEXT = 0,    ///< seal a plaintext of text-alphabet characters
  MODE_UNSEAL_TEXT = 1,  ///< unseal, refusing a result outside the text alphabet
  MODE_MASK = 2,         ///< mask into a text of the same length and classes
  MODE_UNMASK = 3,       ///< undo MODE_MASK
  MODE_SEAL = 4,         ///< seal a plaintext of any bytes 1 to 255
  MODE_UNSEAL = 5,       ///< unseal whatever bytes result
};

/// Seals, unseals, masks or unmasks under the two key strings. `plaintext`
/// (65 bytes as an output) holds 1 to 64 characters; `text` (89 bytes as an
/// output) a sealed text of 1 to 88 characters or a masked text of 1 to 64.
/// The input is the plaintext in modes 0, 2 and 4 and the text in 1, 3 and
/// 5; the other buffer receives the result. 0, or -1 with neither buffer
/// changed: an argument missing, an empty first key string, a mode above 5,
/// an input of the wrong length, or one that the mode refuses.
int SealCrypt(const char* firstKey, const char* secondKey, char* plaintext, char* text,
              unsigned mode);

/// The two key strings (11 characters and a terminator, 12 bytes each)
/// derived from two phrases. 0, or -1 with neither output written when a
/// phrase is missing or empty or an output is missing.
int DeriveKeyStrings(const char* firstPhrase, const char* secondPhrase, char* firstKey,
                     char* secondKey);

/// Storage of one key string with its terminator.
inline constexpr std::size_t kKeyStringCapacity = 12;

/// The longest plaintext, and the buffer that holds it with its terminator.
inline constexpr std::size_t kMaxPlaintextLength = 64;
inline constexpr std::size_t kPlaintextCapacity = kMaxPlaintextLength + 1;

/// The longest sealed text, and the buffer that holds it (or a masked text)
/// with its terminator.
inline constexpr std::size_t kMaxSealedLength = 88;
inline constexpr std::size_t kSealedCapacity = kMaxSealedLength + 1;

/// The built-in key phrases of the credential sealer, first and second.
inline constexpr char KeyPhrase1[] = "\\kph1\\ruvotlen";   // 14 characters
inline constexpr char KeyPhrase2[] = "\\kph2\\selmarkot";  // 15 characters
