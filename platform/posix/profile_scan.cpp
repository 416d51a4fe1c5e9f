// The profile scanner: what GetPrivateProfileIntA makes of a profile's
// bytes, fed in chunks (profile_scan.h).

#include "profile_scan.h"

#include <cstring>

namespace platform {

namespace posix {

namespace {

/// Byte-order marks, which decide how the rest of the file is read.
struct Mark {
  unsigned char bytes[3];
  std::size_t length;
};
constexpr Mark kUtf8Mark = {{0xEF, 0xBB, 0xBF}, 3};
constexpr Mark kUtf16LeMark = {{0xFF, 0xFE}, 2};
constexpr Mark kUtf16BeMark = {{0xFE, 0xFF}, 2};
constexpr uint32_t kReplacement = 0xFFFD;
constexpr std::size_t kNumberLength = 29;

bool IsBlank(unsigned char c) { return (c >= '\t' && c <= '\r') || c == ' ' || c == 0x1A; }

bool IsLineEnd(unsigned char c) { return c == '\n' || c == '\r'; }

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

/// The target trimmed of blanks on both sides.
const char* Trim(const char* text, std::size_t* length) {
  while (IsBlank(static_cast<unsigned char>(*text))) {
    ++text;
  }
  std::size_t n = std::strlen(text);
  while (n > 0 && IsBlank(static_cast<unsigned char>(text[n - 1]))) {
    --n;
  }
  *length = n;
  return text;
}

int DigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return -1;
}

/// RtlUnicodeStringToInteger with base 0 over `n` characters.
int ParseInteger(const unsigned char* text, std::size_t n) {
  std::size_t i = 0;
  while (i < n && text[i] <= ' ') {
    ++i;
  }
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t base = 10;
  if (n - i >= 2 && text[i] == '0') {
    switch (text[i + 1]) {
      case 'b':
        base = 2;
        break;
      case 'o':
        base = 8;
        break;
      case 'x':
        base = 16;
        break;
      default:
        break;
    }
    if (base != 10) {
      i += 2;
    }
  }
  uint32_t total = 0;
  for (; i < n; ++i) {
    const int digit = DigitValue(text[i]);
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) {
      break;
    }
    total = total * base + static_cast<uint32_t>(digit);
  }
  return static_cast<int>(negative ? 0u - total : total);
}

}  // namespace

void NameMatch::Reset(const char* target, std::size_t length) {
  *this = NameMatch{};
  target_ = target;
  length_ = length;
}

// Blanks inside a name must match the target exactly, but trailing ones
// are trimmed; so they are held back until a later character shows which.
void NameMatch::CommitBlanks() {
  if (pendingBlanks_ == 0) {
    return;
  }
  if (pendingMismatch_) {
    valid_ = false;
  }
  position_ += pendingBlanks_;
  pendingBlanks_ = 0;
  pendingMismatch_ = false;
}

void NameMatch::Feed(unsigned char c) {
  if (frozen_ || !valid_) {
    return;
  }
  if (c == '\0') {
    // Trimming sees the whole name, the compare only what is before a NUL.
    CommitBlanks();
    frozen_ = true;
    return;
  }
  if (IsBlank(c)) {
    if (!started_) {
      return;
    }
    const std::size_t at = position_ + pendingBlanks_;
    if (at >= length_ || static_cast<unsigned char>(target_[at]) != c) {
      pendingMismatch_ = true;
    }
    ++pendingBlanks_;
    return;
  }
  started_ = true;
  CommitBlanks();
  if (!valid_ || position_ >= length_ ||
      LowerAscii(static_cast<unsigned char>(target_[position_])) != LowerAscii(c)) {
    valid_ = false;
    return;
  }
  ++position_;
}

void ValueCollect::Reset() { *this = ValueCollect{}; }

void ValueCollect::Feed(unsigned char c) {
  if (frozen_ || (!started_ && IsBlank(c))) {
    return;
  }
  started_ = true;
  if (c == '\0') {
    if (pendingBlanks_ > 0) {
      length_ += pendingBlanks_;
      last_ = lastBlank_;
      pendingBlanks_ = 0;
    }
    frozen_ = true;
    return;
  }
  if (windowUsed_ < kWindow) {
    window_[windowUsed_++] = c;
  }
  if (IsBlank(c)) {
    ++pendingBlanks_;
    lastBlank_ = c;
    return;
  }
  if (length_ == 0) {
    first_ = c;
  }
  length_ += pendingBlanks_ + 1;
  pendingBlanks_ = 0;
  last_ = c;
}

int ValueCollect::Result(int defaultValue) const {
  const bool quoted = length_ >= 2 && (first_ == '"' || first_ == '\'') && last_ == first_;
  const std::size_t start = quoted ? 1 : 0;
  const std::size_t inner = quoted ? length_ - 2 : length_;
  if (inner == 0) {
    return defaultValue;
  }
  return ParseInteger(window_ + start, inner < kNumberLength ? inner : kNumberLength);
}

ProfileScan::ProfileScan(const char* section, const char* key, int defaultValue)
    : defaultValue_(defaultValue), result_(defaultValue) {
  section_ = Trim(section, &sectionLength_);
  key_ = Trim(key, &keyLength_);
  // Keys ahead of the first header form a section without a name.
  inSection_ = sectionLength_ == 0;
  ResetLine();
}

void ProfileScan::ResetLine() {
  lineStarted_ = false;
  bracketLine_ = false;
  headerClosed_ = false;
  sectionAtBracket_ = false;
  equalsSeen_ = false;
  sectionMatch_.Reset(section_, sectionLength_);
  keyMatch_.Reset(key_, keyLength_);
  value_.Reset();
}

void ProfileScan::EndLine() {
  if (lineStarted_ && !done_) {
    if (bracketLine_ && headerClosed_) {
      if (inSection_) {
        // The first block of the section ended without the key.
        done_ = true;
      } else if (sectionAtBracket_) {
        inSection_ = true;
      }
    } else if (inSection_ && keyMatch_.Matches()) {
      result_ = equalsSeen_ ? value_.Result(defaultValue_) : defaultValue_;
      done_ = true;
    }
  }
  ResetLine();
}

void ProfileScan::FeedLineByte(unsigned char c) {
  if (IsLineEnd(c)) {
    EndLine();
    return;
  }
  if (!lineStarted_) {
    if (IsBlank(c)) {
      return;
    }
    lineStarted_ = true;
    if (c == '[') {
      bracketLine_ = true;
      keyMatch_.Feed(c);
      return;
    }
  }
  if (bracketLine_) {
    // The name ends at the line's last "]", which only the line's end shows.
    if (c == ']') {
      headerClosed_ = true;
      sectionAtBracket_ = sectionMatch_.Matches();
    }
    sectionMatch_.Feed(c);
  }
  if (equalsSeen_) {
    value_.Feed(c);
  } else if (c == '=') {
    equalsSeen_ = true;
  } else {
    keyMatch_.Feed(c);
  }
}

void ProfileScan::ReplayPrefix() {
  encoding_ = Encoding::kBytes;
  for (std::size_t i = 0; i < prefixUsed_; ++i) {
    FeedLineByte(prefix_[i]);
  }
}

// The first bytes are held until they are a mark or cannot become one.
void ProfileScan::DecideEncoding(unsigned char c) {
  prefix_[prefixUsed_++] = c;
  const struct {
    const Mark& mark;
    Encoding encoding;
  } marks[] = {{kUtf8Mark, Encoding::kBytes},
               {kUtf16LeMark, Encoding::kUtf16Le},
               {kUtf16BeMark, Encoding::kUtf16Be}};
  bool mayBecomeMark = false;
  for (const auto& [mark, encoding] : marks) {
    if (prefixUsed_ > mark.length || std::memcmp(prefix_, mark.bytes, prefixUsed_) != 0) {
      continue;
    }
    if (prefixUsed_ == mark.length) {
      encoding_ = encoding;
      return;
    }
    mayBecomeMark = true;
  }
  if (!mayBecomeMark) {
    ReplayPrefix();
  }
}

void ProfileScan::FeedCodePoint(uint32_t codePoint) {
  if (codePoint < 0x80) {
    FeedLineByte(static_cast<unsigned char>(codePoint));
    return;
  }
  const int tail = codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
  static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  FeedLineByte(static_cast<unsigned char>(kLead[tail] | (codePoint >> (6 * tail))));
  for (int i = tail - 1; i >= 0; --i) {
    FeedLineByte(static_cast<unsigned char>(0x80 | ((codePoint >> (6 * i)) & 0x3F)));
  }
}

void ProfileScan::FeedUtf16Byte(unsigned char c) {
  if (unitFirstByte_ < 0) {
    unitFirstByte_ = c;
    return;
  }
  const auto first = static_cast<uint32_t>(unitFirstByte_);
  unitFirstByte_ = -1;
  const uint32_t unit = encoding_ == Encoding::kUtf16Le ? first | (c << 8) : (first << 8) | c;
  if (highSurrogate_ != 0) {
    const uint32_t high = highSurrogate_;
    highSurrogate_ = 0;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      FeedCodePoint(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      return;
    }
    FeedCodePoint(kReplacement);
  }
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    highSurrogate_ = unit;
  } else {
    FeedCodePoint(unit >= 0xDC00 && unit <= 0xDFFF ? kReplacement : unit);
  }
}

void ProfileScan::FeedByte(unsigned char c) {
  switch (encoding_) {
    case Encoding::kUndecided:
      DecideEncoding(c);
      break;
    case Encoding::kBytes:
      FeedLineByte(c);
      break;
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be:
      FeedUtf16Byte(c);
      break;
  }
}

void ProfileScan::Feed(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size && !done_; ++i) {
    FeedByte(static_cast<unsigned char>(data[i]));
  }
}

int ProfileScan::Finish() {
  if (encoding_ == Encoding::kUndecided) {
    ReplayPrefix();
  }
  if (highSurrogate_ != 0) {
    FeedCodePoint(kReplacement);
  }
  EndLine();
  return result_;
}

int ProfileIntFromText(const char* data, std::size_t size, const char* section, const char* key,
                       int defaultValue) {
  ProfileScan scan(section, key, defaultValue);
  scan.Feed(data, size);
  return scan.Finish();
}

}  // namespace posix

}  // namespace platform
