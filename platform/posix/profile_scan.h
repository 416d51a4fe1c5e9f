#pragma once
// The POSIX profile reader behind platform::ProfileInt, reachable as a pure
// function for tests and fuzzing. It gives what GetPrivateProfileIntA gives:
//   - lines end at CR or LF; a UTF-8 byte-order mark at the start is skipped;
//     one of UTF-16 (FF FE little-endian, FE FF big-endian) makes the rest
//     UTF-16, read as the same text in UTF-8;
//   - blanks (tab to CR, space, and the DOS end-of-file mark 0x1A) are
//     trimmed around section names, key names and values, both in the file
//     and in the names asked for; names match without regard to ASCII case;
//   - keys before the first section header belong to a section named "";
//     a "[" line without "]" is a key line; a section name ends at the
//     line's last "]";
//   - only the first block of a repeated section is searched, and the first
//     of repeated keys is used, even when it has no "=";
//   - a NUL byte ends a name or value as the wide-string compare would;
//   - a value in matching quotes (" or ') is unquoted; its first 29
//     characters are read as RtlUnicodeStringToInteger reads them with base
//     0 (bytes up to blank skipped, one sign, "0b", "0o", "0x", digits up to
//     the first that is out of the base, low 32 bits kept);
//   - the default for a missing section or key, a key without "=", and an
//     empty value.
// The scan is streaming and keeps a few dozen bytes of state, so a file of
// any size is read without a buffer to match.

#include <cstddef>
#include <cstdint>

namespace platform::posix {

/// Compares one name, fed byte by byte, with a trimmed target.
class NameMatch {
 public:
  void Reset(const char* target, std::size_t length);
  void Feed(unsigned char c);
  bool Matches() const { return valid_ && position_ == length_; }

 private:
  void CommitBlanks();

  const char* target_ = nullptr;
  std::size_t length_ = 0;
  std::size_t position_ = 0;
  std::size_t pendingBlanks_ = 0;
  bool pendingMismatch_ = false;
  bool started_ = false;
  bool frozen_ = false;
  bool valid_ = true;
};

/// Collects what the number is read from: the first characters of a value
/// and its first and last characters, fed byte by byte.
class ValueCollect {
 public:
  /// Characters read from the value: 29, plus an opening quote.
  static constexpr std::size_t kWindow = 30;

  void Reset();
  void Feed(unsigned char c);
  /// The number, or `defaultValue` for an empty (or emptily quoted) value.
  int Result(int defaultValue) const;

 private:
  unsigned char window_[kWindow] = {};
  std::size_t windowUsed_ = 0;
  std::size_t length_ = 0;
  std::size_t pendingBlanks_ = 0;
  unsigned char lastBlank_ = 0;
  unsigned char first_ = 0;
  unsigned char last_ = 0;
  bool started_ = false;
  bool frozen_ = false;
};

/// One lookup of `key` in `section` over a profile text fed in pieces.
class ProfileScan {
 public:
  ProfileScan(const char* section, const char* key, int defaultValue);
  void Feed(const char* data, std::size_t size);
  /// The value after the last piece; call once.
  int Finish();
  /// True once the value is known: later pieces change nothing.
  bool Done() const { return done_; }

 private:
  enum class Encoding : uint8_t { kUndecided, kBytes, kUtf16Le, kUtf16Be };

  void FeedByte(unsigned char c);
  void DecideEncoding(unsigned char c);
  void ReplayPrefix();
  void FeedUtf16Byte(unsigned char c);
  void FeedCodePoint(uint32_t codePoint);
  void FeedLineByte(unsigned char c);
  void EndLine();
  void ResetLine();

  const char* section_;
  std::size_t sectionLength_;
  const char* key_;
  std::size_t keyLength_;
  int defaultValue_;
  int result_;
  bool done_ = false;
  bool inSection_;
  Encoding encoding_ = Encoding::kUndecided;
  unsigned char prefix_[3] = {};
  std::size_t prefixUsed_ = 0;
  int unitFirstByte_ = -1;
  uint32_t highSurrogate_ = 0;

  bool lineStarted_ = false;
  bool bracketLine_ = false;
  bool headerClosed_ = false;
  bool sectionAtBracket_ = false;
  bool equalsSeen_ = false;
  NameMatch sectionMatch_;
  NameMatch keyMatch_;
  ValueCollect value_;
};

/// The whole lookup over one buffer.
int ProfileIntFromText(const char* data, std::size_t size, const char* section, const char* key,
                       int defaultValue);

}  // namespace platform::posix
