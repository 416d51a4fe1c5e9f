#pragma once
// Tricky profile files with the values GetPrivateProfileIntA gives for
// them (default -1), as Wine's implementation gives them. The POSIX reader's
// unit test checks the values; the differential test asks Wine itself, for
// these queries and for kCommonQueries on every file.

#include <string>
#include <string_view>
#include <vector>

namespace profile_corpus {

using namespace std::string_view_literals;

struct Query {
  const char* section;
  const char* key;
  int expected;
};

struct Case {
  const char* name;
  std::string_view text;
  std::vector<Query> queries;
};

inline constexpr int kDefault = -1;

/// Asked of every file; their values are compared, not listed.
inline const std::vector<std::pair<const char*, const char*>> kCommonQueries = {
    {"Severity", "A"}, {"severity", "a"}, {" Severity\t", " A "}, {"Severity", "B"},
    {"", "A"},         {"Severity", ""},  {"Other", "B"},         {"Severity", "WARN"},
};

/// ASCII `text` as UTF-16 with its byte-order mark, as Notepad saves a
/// file as "Unicode" (little-endian) or "Unicode big endian".
inline std::string Utf16(std::string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) {
    out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return out;
}

inline const std::string kUtf16Profile = "[Severity]\r\nWARN=3\r\n a = 0x10 \r\n[Other]\r\nB=5\r\n";
inline const std::string kUtf16Le = Utf16(kUtf16Profile, false);
inline const std::string kUtf16Be = Utf16(kUtf16Profile, true);

inline const std::vector<Case> kCases = {
    {"plain",
     "[Severity]\nWARN=3\n"sv,
     {{"Severity", "WARN", 3},
      {"severity", "warn", 3},
      {" Severity ", " WARN ", 3},
      {"Severity", "WARNX", -1},
      {"Other", "WARN", -1}}},
    {"blanks in the header", "[ Severity ]\nWARN=3\n"sv, {{"Severity", "WARN", 3}}},
    {"blanks around key and value",
     "[Severity]\n  WARN  =  7  \n\tA\t=\t8\t\n"sv,
     {{"Severity", "WARN", 7}, {"Severity", "A", 8}}},
    {"line ends",
     "[Severity]\r\nA=1\rB=2\nC=3\r\n\r\r\nD=4"sv,
     {{"Severity", "A", 1}, {"Severity", "B", 2}, {"Severity", "C", 3}, {"Severity", "D", 4}}},
    {"byte-order mark", "\xEF\xBB\xBF[Severity]\nA=1\n"sv, {{"Severity", "A", 1}}},
    {"byte-order mark later",
     "x\xEF\xBB\xBF[Severity]\nA=1\n\xEF\xBB\xBF[Other]\nB=2\n"sv,
     {{"Severity", "A", -1}, {"Other", "B", -1}}},
    {"only a byte-order mark", "\xEF\xBB\xBF"sv, {{"Severity", "A", -1}}},
    {"part of a byte-order mark", "\xEF\xBB"sv, {{"Severity", "A", -1}}},
    {"empty", ""sv, {{"Severity", "A", -1}}},
    {"quotes",
     "[Severity]\nA=\"12\"\nB=\"12\nC='13'\nD=\"\nE=\"\"\nF=\"5'\nG='\"'\nH=\"7\"x\"\n"sv,
     {{"Severity", "A", 12},
      {"Severity", "B", 0},
      {"Severity", "C", 13},
      {"Severity", "D", 0},
      {"Severity", "E", -1},
      {"Severity", "F", 0},
      {"Severity", "G", 0},
      {"Severity", "H", 7}}},
    {"blanks inside quotes",
     "[Severity]\nA = \"  8\"\nB=\"8  \"\nC=\" 0x10 \"\nD=\"  \"\n"sv,
     {{"Severity", "A", 8}, {"Severity", "B", 8}, {"Severity", "C", 16}, {"Severity", "D", 0}}},
    {"number forms",
     "[Severity]\nA=0x1F\nB=0X1F\nC=0o17\nD=0b101\nE=-5\nF=+6\nG=--7\nH= \t 9\nI=12abc\n"
     "J=abc\n"sv,
     {{"Severity", "A", 31},
      {"Severity", "B", 0},
      {"Severity", "C", 15},
      {"Severity", "D", 5},
      {"Severity", "E", -5},
      {"Severity", "F", 6},
      {"Severity", "G", 0},
      {"Severity", "H", 9},
      {"Severity", "I", 12},
      {"Severity", "J", 0}}},
    {"prefixes without digits",
     "[Severity]\nA=0x\nB=-0x10\nC=0x-5\nD=+-5\nE=- 5\nF=0b102\nG=0o19\nH=0xFG\nI=0B11\nJ=-\n"sv,
     {{"Severity", "A", 0},
      {"Severity", "B", -16},
      {"Severity", "C", 0},
      {"Severity", "D", 0},
      {"Severity", "E", 0},
      {"Severity", "F", 2},
      {"Severity", "G", 1},
      {"Severity", "H", 15},
      {"Severity", "I", 0},
      {"Severity", "J", 0}}},
    {"29 characters",
     "[Severity]\nA=4294967297\nB=99999999999999999999999999999999\n"
     "C=0000000000000000000000000000012\nD=000000000000000000000000000012\n"sv,
     {{"Severity", "A", 1},
      {"Severity", "B", -1610612737},
      {"Severity", "C", 0},
      {"Severity", "D", 1}}},
    {"repeated section",
     "[Severity]\nA=1\n[Other]\nB=2\n[Severity]\nA=5\nB=6\n"sv,
     {{"Severity", "A", 1}, {"Severity", "B", -1}, {"Other", "B", 2}}},
    {"repeated key", "[Severity]\nA=1\nA=2\n"sv, {{"Severity", "A", 1}}},
    {"first key has no value", "[Severity]\nA\nA=5\n"sv, {{"Severity", "A", -1}}},
    {"no value",
     "[Severity]\nA\nB=\nC=  \nD=\t\n"sv,
     {{"Severity", "A", -1}, {"Severity", "B", -1}, {"Severity", "C", -1}, {"Severity", "D", -1}}},
    {"unclosed header", "[Severity\nA=1\n"sv, {{"Severity", "A", -1}, {"[Severity", "A", -1}}},
    {"unclosed header is a key",
     "[Severity]\n[\nA=1\n[Foo=5\n[A=6]\nB=7\n"sv,
     {{"Severity", "A", 1}, {"Severity", "[Foo", 5}, {"A=6", "B", 7}, {"Severity", "B", -1}}},
    {"text after the header",
     "[Severity]junk\nA=1\n[Sev]erity]\nB=2\n[ X ] ] y\nC=3\n"sv,
     {{"Severity", "A", 1},
      {"Sev", "B", -1},
      {"Sev]erity", "B", 2},
      {"X ]", "C", 3},
      {"X", "C", -1}}},
    {"keys before any header",
     "A=1\n[Severity]\nB=2\n"sv,
     {{"Severity", "A", -1}, {"", "A", 1}, {" ", "A", 1}, {"Severity", "B", 2}}},
    {"empty header repeats the first section", "[]\nA=5\n"sv, {{"", "A", -1}}},
    {"empty key", "[Severity]\n=5\nA=1\n"sv, {{"Severity", "", 5}, {"Severity", " ", 5}}},
    {"no comments",
     "[Severity]\n;A=1\nB=2 ;c\n#C=3\n"sv,
     {{"Severity", ";A", 1}, {"Severity", "A", -1}, {"Severity", "B", 2}, {"Severity", "#C", 3}}},
    {"case", "[SEVERITY]\nwArN=4\n"sv, {{"severity", "WARN", 4}}},
    {"equals in the value",
     "[Severity]\nA=B=3\nC==4\n"sv,
     {{"Severity", "A", 0}, {"Severity", "A=B", -1}, {"Severity", "C", 0}}},
    {"which bytes are blanks",
     "[\tSeverity\x1A]\nA=\x01\"5\"\nB=\v\"5\"\nC=\x1C\"5\"\nD=\xA0"
     "5\n\xA0"
     "E\xA0=1\n"
     "F=\x1F\"5\"\n\x1AG\x1A=7\nH=\x01 5\nI=\f6\n"sv,
     {{"Severity", "A", 0},
      {"Severity", "B", 5},
      {"Severity", "C", 0},
      {"Severity", "D", 0},
      {"Severity", "E", -1},
      {"Severity", "F", 0},
      {"Severity", "G", 7},
      {"Severity", "H", 5},
      {"Severity", "I", 6}}},
    {"NUL bytes",
     "[Severity]\nA=1\0junk\nB \0x=2\nC\0 =3\nD=\0 5\nE=\"5\0\"\nF=\"\0\"\n"sv,
     {{"Severity", "A", 1},
      {"Severity", "B", -1},
      {"Severity", "C", 3},
      {"Severity", "D", -1},
      {"Severity", "E", 0},
      {"Severity", "F", 0}}},
    {"NUL in a header", "[Sev\0x]\nA=1\n"sv, {{"Sev", "A", 1}}},
    {"blank lines", "\n\n   \n\t\n  [Severity]\n\n  A=1"sv, {{"Severity", "A", 1}}},
    {"UTF-16 little-endian",
     kUtf16Le,
     {{"Severity", "WARN", 3}, {"severity", "A", 16}, {"Other", "B", 5}, {"Severity", "B", -1}}},
    {"UTF-16 big-endian",
     kUtf16Be,
     {{"Severity", "WARN", 3}, {"severity", "A", 16}, {"Other", "B", 5}, {"Severity", "B", -1}}},
    {"UTF-16 mark alone", "\xFF\xFE"sv, {{"Severity", "A", -1}}},
};

}  // namespace profile_corpus
