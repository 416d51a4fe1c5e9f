// ReadSecretLine over a pipe put in place of standard input, a row per
// shape of the line, natively and under Wine; the capacity is credseal's
// (one byte beyond the cipher's 64). The echo of a terminal is the
// behaviour suite's, which has one.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kCapacity = 66;

#ifdef _WIN32

/// Standard input is a pipe holding `bytes`, its writing end closed, or
/// no handle at all, for the length of the object.
class InputFrom {
 public:
  explicit InputFrom(const std::optional<std::string>& bytes)
      : saved_(GetStdHandle(STD_INPUT_HANDLE)) {
    if (bytes) {
      HANDLE writer = nullptr;
      CreatePipe(&pipe_, &writer, nullptr, 0);
      DWORD written = 0;
      if (!bytes->empty())
        WriteFile(writer, bytes->data(), static_cast<DWORD>(bytes->size()), &written, nullptr);
      CloseHandle(writer);
    }
    SetStdHandle(STD_INPUT_HANDLE, pipe_);
  }
  ~InputFrom() {
    SetStdHandle(STD_INPUT_HANDLE, saved_);
    if (pipe_ != nullptr) CloseHandle(pipe_);
  }
  /// What the reader left in the pipe.
  std::string Rest() {
    std::string rest;
    char c;
    DWORD n = 0;
    while (pipe_ != nullptr && ReadFile(pipe_, &c, 1, &n, nullptr) && n == 1) rest += c;
    return rest;
  }

 private:
  HANDLE saved_;
  HANDLE pipe_ = nullptr;
};

#else

class InputFrom {
 public:
  explicit InputFrom(const std::optional<std::string>& bytes) : saved_(dup(STDIN_FILENO)) {
    int ends[2] = {-1, -1};
    if (bytes && pipe(ends) == 0) {
      [[maybe_unused]] const ssize_t n = write(ends[1], bytes->data(), bytes->size());
      close(ends[1]);
      dup2(ends[0], STDIN_FILENO);
      close(ends[0]);
    } else {
      close(STDIN_FILENO);
    }
  }
  ~InputFrom() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }
  std::string Rest() {
    std::string rest;
    char c;
    while (read(STDIN_FILENO, &c, 1) == 1) rest += c;
    return rest;
  }

 private:
  int saved_;
};

#endif

struct LineCase {
  const char* name;
  std::optional<std::string> input;  ///< nullopt: no standard input at all
  bool read = true;
  std::string line{};
  std::string rest{};  ///< left in the input
};

const std::string k64(64, 'p');
const std::string k65(65, 'p');

std::vector<LineCase> LineCases() {
  using namespace std::string_literals;
  return {
      {.name = "LineFeed", .input = "secret\nnext\n", .line = "secret", .rest = "next\n"},
      {.name = "CarriageReturnLineFeed",
       .input = "secret\r\nnext",
       .line = "secret",
       .rest = "next"},
      {.name = "EndOfInputEndsTheLine", .input = "secret", .line = "secret"},
      {.name = "LoneCarriageReturnIsPartOfTheLine", .input = "se\rcret\r", .line = "se\rcret\r"},
      {.name = "DashFirst", .input = "-x\n", .line = "-x"},
      {.name = "AnyByteButZero", .input = "\x01\t \",\xff\n", .line = "\x01\t \",\xff"},
      {.name = "Longest", .input = k64 + "\r\nnext", .line = k64, .rest = "next"},
      {.name = "TooLongFillsTheBuffer", .input = k65 + "\n", .line = k65, .rest = "\n"},
      {.name = "TooLongIsReadNoFurther", .input = k65 + "qq\n", .line = k65, .rest = "qq\n"},
      {.name = "TooLongEndingInCarriageReturn", .input = k64 + "\rq", .line = k64 + "\r"},
      {.name = "EmptyLine", .input = "\nnext", .line = "", .rest = "next"},
      {.name = "EmptyInput", .input = "", .line = ""},
      {.name = "ZeroByte", .input = "se\0cret\n"s, .read = false, .rest = "cret\n"},
      {.name = "NoInput", .input = std::nullopt, .read = false},
  };
}

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class SecretLine : public testing::TestWithParam<LineCase> {};

TEST_P(SecretLine, Read) {
  const LineCase& c = GetParam();
  InputFrom input(c.input);
  char line[kCapacity];
  std::fill(std::begin(line), std::end(line), 'X');
  EXPECT_EQ(platform::ReadSecretLine(line, sizeof line), c.read);
  if (c.read) {
    EXPECT_EQ(std::string(line), c.line);
  }
  EXPECT_EQ(input.Rest(), c.rest);
}

INSTANTIATE_TEST_SUITE_P(Lines, SecretLine, testing::ValuesIn(LineCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
