#include "credseal/credseal_command.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "common/bounded_length.h"
#include "common/install_dir.h"
#include "credseal/scan_option.h"
#include "platform/platform.h"
#include "sealcrypt/sealcrypt.h"
#include "sealcrypt/secure_wipe.h"

namespace {

constexpr const char* kSourceFile = "credseal_command.cpp";
constexpr const char* kOptionString = "d:u:p:o:i";
constexpr const char* kCredentialFile = "credseal.csv";

constexpr const char* kInvalidParameter = "credseal error invalid parameter.";
constexpr const char* kSealFailed = "credseal error in SealCrypt.";
constexpr const char* kNoInstallDir = "credseal error get adapter install path.";
constexpr const char* kCreateFailed = "credseal error create dbinf file:%d.";
constexpr const char* kWriteFailed = "credseal error write dbinf file:%d.";
constexpr const char* kWriteFailedOldLost = "credseal error write dbinf file:%d, old line lost.";
constexpr const char* kCloseFailed = "credseal error close dbinf file:%d.";
constexpr const char* kLogFailed = "credseal error write log file.";

constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kNameCapacity = kMaxNameLength + 1;
// One character beyond the 64 the cipher takes: a longer password is kept
// long enough for SealCrypt to refuse it, and is never sealed cut short.
constexpr std::size_t kPasswordCapacity = kPlaintextCapacity + 1;
constexpr std::size_t kLineCapacity = 1024;
constexpr std::size_t kMessageCapacity = 256;

static_assert(2 * kNameCapacity + kSealedCapacity + sizeof kLineEnd <= kLineCapacity,
              "the credential line always fits");

/// Not an exit code: the step succeeded and the run goes on.
constexpr int kGoOn = -1;

/// What -o made of the log file: none named, one named, or a value that
/// is refused (too long, or the credential file itself).
enum class LogFile { kNone, kNamed, kRefused };

/// Where the password comes from: -p's value, or standard input (-i).
/// Both together are refused.
enum class PasswordFrom { kNone, kArgument, kStandardInput, kBoth };

/// Working storage of one run; zero-initialised as a whole, the trace
/// channels included.
struct Run {
  TraceChannel errorChannel;
  TraceChannel flowChannel;
  char dsnName[kNameCapacity];
  char userName[kNameCapacity];
  char password[kPasswordCapacity];
  PasswordFrom passwordFrom;
  char logPath[kPathCapacity];
  LogFile logFile;
  char keyString1[kKeyStringCapacity];
  char keyString2[kKeyStringCapacity];
  char sealedText[kSealedCapacity];
  char installDir[kPathCapacity];
  char credentialPath[kPathCapacity];
  int located;  ///< kGoOn once the credential file's path is known, else the exit code
  char line[kLineCapacity];
  char message[kMessageCapacity];
};

void WipePassword(Run& run) { SecureWipe(run.password, sizeof run.password); }

void Trace(TraceChannel& channel, int line, const char* text) {
  TraceText(&channel, kTraceFromCredseal, kSourceFile, line, text);
}

/// Copies a name that fits and holds no line break (it would split the
/// one-line credential file); anything else leaves the buffer empty, which
/// the check for missing values then refuses.
void CopyName(char* buffer, const char* value) {
  std::memset(buffer, 0, kNameCapacity);
  const std::size_t n = BoundedLength(value, kMaxNameLength);
  if (n > kMaxNameLength || std::strpbrk(value, "\r\n") != nullptr) {
    return;
  }
  std::memcpy(buffer, value, n);
}

/// Copies at most one character more than the cipher accepts.
void CopyPassword(Run& run, const char* value) {
  WipePassword(run);
  std::memcpy(run.password, value, BoundedLength(value, kMaxPlaintextLength));
}

void CopyLogPath(Run& run, const char* value) {
  std::memset(run.logPath, 0, sizeof run.logPath);
  const std::size_t n = BoundedLength(value, kPathCapacity - 1);
  run.logFile = n > kPathCapacity - 1 ? LogFile::kRefused : LogFile::kNamed;
  if (run.logFile == LogFile::kNamed) std::memcpy(run.logPath, value, n);
}

/// The END record and both channels closed, error channel first. A request
/// to end the process that was held while the credential file was written
/// takes effect after that.
int End(Run& run, int code) {
  WipePassword(run);
  TraceWrite(&run.flowChannel, kTraceFromCredseal, 1, kSourceFile, __LINE__, 2, 3,
             platform::ProcessId(), code, "END");
  TraceClose(&run.errorChannel, 0);
  TraceClose(&run.flowChannel, 0);
  platform::ReleaseTermination();
  return code;
}

/// Where a failure's message goes when no log file was named.
enum class Otherwise { kMessage, kUsage };

/// A failure after a complete scan: to the log file when one was named,
/// else the message (without a line end) or the usage text to the standard
/// error stream.
void Report(Run& run, int line, const char* message, Otherwise otherwise = Otherwise::kMessage) {
  Trace(run.errorChannel, line, message);
  if (run.logFile == LogFile::kNamed) {
    if (WriteLogFile(run.logPath, message) != 0) Trace(run.errorChannel, line, kLogFailed);
  } else if (otherwise == Otherwise::kUsage) {
    PrintUsage();
  } else {
    std::fputs(message, stderr);
  }
}

int ReportWithCode(Run& run, int line, const char* format, int error, int code) {
  std::snprintf(run.message, sizeof run.message, format, error);
  Report(run, line, run.message);
  return End(run, code);
}

/// No arguments, or a scan that stopped at a bad option or value.
int ScanErrorEnding(Run& run, int line) {
  WipePassword(run);
  Trace(run.errorChannel, line, kInvalidParameter);
  End(run, kExitInvalidParameter);
  PrintUsage();
  return kExitInvalidParameter;
}

/// A complete scan that lacks a value, or holds one that was refused.
int MissingValueEnding(Run& run, int line) {
  WipePassword(run);
  Report(run, line, kInvalidParameter, Otherwise::kUsage);
  return End(run, kExitInvalidParameter);
}

/// etc/credseal.csv of the installation, found once, before -o is checked
/// against it: kGoOn, or the exit code that tells why it cannot be had,
/// reported when the file is to be written. A path that would not fit is
/// refused rather than cut.
int LocateCredentialFile(Run& run) {
  if (GetInstallDir(run.installDir, kPathCapacity) != 0) return kExitNoInstallDir;
  return JoinEtcPath(run.credentialPath, sizeof run.credentialPath, run.installDir, kCredentialFile)
             ? kGoOn
             : kExitCreateFailed;
}

/// True when -o names the credential file itself, under whatever path:
/// its message would overwrite the credential line, its deletion the file.
bool LogIsCredentialFile(const Run& run) {
  return run.located == kGoOn && platform::NamesSameFile(run.logPath, run.credentialPath);
}

/// `from` once one more source of the password was named.
PasswordFrom Naming(PasswordFrom from, PasswordFrom named) {
  return from == PasswordFrom::kNone || from == named ? named : PasswordFrom::kBoth;
}

/// The value of one option the scan returned into the run; false for a
/// letter the command does not take, or a value that is missing.
bool TakeOption(Run& run, int option, char** argv) {
  if (option == 'i') {
    run.passwordFrom = Naming(run.passwordFrom, PasswordFrom::kStandardInput);
    return true;
  }
  if (optionValue == nullptr) return false;
  switch (option) {
    case 'd':
      CopyName(run.dsnName, optionValue);
      return true;
    case 'u':
      CopyName(run.userName, optionValue);
      return true;
    case 'p': {
      run.passwordFrom = Naming(run.passwordFrom, PasswordFrom::kArgument);
      CopyPassword(run, optionValue);
      // The value is the rest of the argument just passed.
      const int index = optionIndex - 1;
      platform::ScrubArgument(argv, index, static_cast<unsigned>(optionValue - argv[index]));
      return true;
    }
    case 'o':
      CopyLogPath(run, optionValue);
      return true;
    default:
      return false;
  }
}

/// True when the options named everything and nothing was refused. A
/// terminal is never waited on for a command line that fails anyway.
bool OptionsComplete(const Run& run) {
  return run.dsnName[0] != '\0' && run.userName[0] != '\0' &&
         run.passwordFrom != PasswordFrom::kNone && run.passwordFrom != PasswordFrom::kBoth &&
         run.logFile != LogFile::kRefused;
}

/// -i's line into the password buffer: no other buffer holds it. A line too
/// long for the cipher is kept one byte too long, so that it is refused as
/// -p's would be, never cut.
bool ReadPassword(Run& run) {
  if (run.passwordFrom == PasswordFrom::kStandardInput &&
      !platform::ReadSecretLine(run.password, sizeof run.password)) {
    return false;
  }
  return run.password[0] != '\0';
}

/// The options into the run; the usage endings for a bad command line.
int ReadOptions(Run& run, int argc, char** argv) {
  if (argc == 1) {
    return ScanErrorEnding(run, __LINE__);
  }
  for (int option; (option = ScanOption(argc, argv, kOptionString)) != -1;) {
    if (!TakeOption(run, option, argv)) {
      return ScanErrorEnding(run, __LINE__);
    }
  }
  run.located = LocateCredentialFile(run);
  if (run.logFile == LogFile::kNamed && LogIsCredentialFile(run)) run.logFile = LogFile::kRefused;
  if (!OptionsComplete(run) || !ReadPassword(run)) {
    return MissingValueEnding(run, __LINE__);
  }
  return kGoOn;
}

/// The password sealed under the key strings of the built-in phrases, and
/// wiped.
int SealPassword(Run& run) {
  DeriveKeyStrings(KeyPhrase1, KeyPhrase2, run.keyString1, run.keyString2);
  const int sealed =
      SealCrypt(run.keyString1, run.keyString2, run.password, run.sealedText, MODE_SEAL);
  WipePassword(run);
  if (sealed == -1) {
    Report(run, __LINE__, kSealFailed);
    return End(run, kExitSealFailed);
  }
  return kGoOn;
}

/// A failed write's report: the file holds its old line, unless that could
/// not be put back.
int ReportUnwritten(Run& run, const platform::ReplaceResult& written) {
  if (written.stage == platform::ReplaceStage::kOpen) {
    return ReportWithCode(run, __LINE__, kCreateFailed, written.error, kExitCreateFailed);
  }
  const char* format = written.oldContentLost ? kWriteFailedOldLost : kWriteFailed;
  return ReportWithCode(run, __LINE__, format, written.error, kExitWriteFailed);
}

/// The line into etc/credseal.csv, then the log file deleted. Requests to
/// end the process wait from the moment the file is locked to the END
/// record, so no temporary or half-written file survives one.
int WriteCredentialLine(Run& run) {
  if (run.located == kExitNoInstallDir) {
    Report(run, __LINE__, kNoInstallDir);
    return End(run, kExitNoInstallDir);
  }
  if (run.located == kExitCreateFailed) {
    return ReportWithCode(run, __LINE__, kCreateFailed, ENAMETOOLONG, kExitCreateFailed);
  }
  const int length = std::snprintf(run.line, sizeof run.line, "%s,%s,%s%s", run.dsnName,
                                   run.userName, run.sealedText, kLineEnd);
  const platform::ReplaceResult written =
      platform::ReplaceFileContent(run.credentialPath, run.line, static_cast<std::size_t>(length));
  if (written.error != 0) return ReportUnwritten(run, written);
  if (written.noted != 0) {
    // The line is committed; the failure changed nothing and is only traced.
    std::snprintf(run.message, sizeof run.message, kCloseFailed, written.noted);
    Trace(run.errorChannel, __LINE__, run.message);
  }
  // Only ever a file: -o naming a directory leaves it in place.
  if (run.logFile == LogFile::kNamed) platform::UnlinkFile(run.logPath);
  return End(run, kExitWritten);
}

}  // namespace

void PrintUsage() {
  std::fputs("Error: invalid parameter\n", stderr);
  std::fputs("Usage: credseal -d dsnname -u username -p password [-o logfie]\n", stderr);
}

int WriteLogFile(const char* path, const char* text) {
  FILE* file = std::fopen(path, "w");
  if (file == nullptr) {
    return 2;
  }
  const bool written = std::fputs(text, file) != EOF;
  // A full disk often shows only when the buffer is flushed on close.
  const bool closed = std::fclose(file) == 0;
  return written && closed ? 0 : 4;
}

int CredsealMain(int argc, char** argv) {
  Run run{};
  TraceOpen(&run.errorChannel, 0, "Norvelle03");
  TraceOpen(&run.flowChannel, 0, "Norvelle04");
  Trace(run.flowChannel, __LINE__, "START");
  int code = ReadOptions(run, argc, argv);
  if (code == kGoOn) code = SealPassword(run);
  if (code == kGoOn) code = WriteCredentialLine(run);
  return code;
}
