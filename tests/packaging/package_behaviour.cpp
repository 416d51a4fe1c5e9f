// The kit as scripts/package delivers it: the resources and hardening of the
// shipped files, the MSI's permission table, the MSI installed, upgraded,
// removed and installed again under Wine, the ZIP's tree, its registration
// scripts and its bytes, and signing. Run with --target=win64 --build=DIR:
// the package probe is that build's, and its programs are checked too.

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/harness/harness.h"

namespace {

namespace fs = std::filesystem;
using harness::ReadFile;

const std::string kSource = KIT_SOURCE_DIR;
const std::string kName = std::string("norvelle-kit-") + KIT_VERSION + "-win32";
const std::string kEventKey =
    R"(HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Norvelle)";

/// The administrator's pages, which both packages carry as doc\NAME.txt.
const std::vector<std::string> kPages = {"AdpEvt.ini", "credseal", "evtrelay",
                                         "install",    "security", "troubleshooting"};

/// What doc\PAGE.txt holds: docs/PAGE.md as it is, with CR LF line ends for
/// Notepad, and its links to the other pages naming the .txt files.
std::string Shipped(const std::string& page) {
  std::string names;
  for (const std::string& p : kPages) {
    names += (names.empty() ? "" : "|") + std::regex_replace(p, std::regex("\\."), "\\.");
  }
  const std::string text =
      std::regex_replace(ReadFile(kSource + "/docs/" + page + ".md").value_or("(missing)"),
                         std::regex("\\b(" + names + ")\\.md\\b"), "$1.txt");
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? "\r\n" : std::string(1, c);
  return crlf;
}

struct Shell {
  int status = -1;
  std::string out;
};

/// A shell command on the host: its exit status and standard output.
Shell Sh(const std::string& command) {
  Shell result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.out.append(chunk, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

/// scripts/package into `dir`, with `environment` ("NAME=value ...") set.
void Package(const std::string& dir, const std::string& environment = "") {
  const Shell s =
      Sh(environment + " " + Quoted(kSource + "/scripts/package") + " " + Quoted(dir) + " 2>&1");
  ASSERT_EQ(s.status, 0) << s.out;
}

/// A temporary directory with a package in pkg/, removed when it goes.
class Packaged : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new harness::InstallTree("kit");
    Package(Dir() + "/pkg");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Dir() { return dir_->Base(); }
  static std::string Msi() { return Dir() + "/pkg/" + kName + ".msi"; }
  static std::string Zip() { return Dir() + "/pkg/" + kName + ".zip"; }
  static std::string DebugZip() { return Dir() + "/pkg/" + kName + "-debug.zip"; }

  static harness::InstallTree* dir_;
};
harness::InstallTree* Packaged::dir_ = nullptr;

// --- the shipped files' resources --------------------------------------------

harness::RunResult Probe(const std::vector<std::string>& args) {
  const harness::Target& t = harness::CurrentTarget();
  return harness::Run(t, t.Program("package_probe"), args);
}

TEST_F(Packaged, ShippedFilesCarryVersionAndEventTexts) {
  ASSERT_EQ(Sh("cd " + Quoted(Dir()) + " && unzip -q -o " + Quoted(Zip()) + " bin/*.exe").status,
            0);
  const struct {
    const char* file;
    const char* description;
    const char* types;  ///< what wrestool lists: messages (11), version (16), manifest (24)
  } files[] = {
      {"credseal.exe", "Seals a database password into the credential file", "16 24"},
      {"evtrelay.exe", "Hands an alert to the operations console", "11 16 24"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.file);
    const std::string path = Dir() + "/bin/" + f.file;
    const Shell listed = Sh("wrestool -l " + Quoted(path) +
                            " | sed 's/.*--type=\\([0-9]*\\) .*/\\1/' | "
                            "sort -n | tr '\\n' ' '");
    EXPECT_EQ(listed.out, std::string(f.types) + " ");
    const harness::RunResult version =
        Probe({"version", harness::CurrentTarget().TargetPath(path)});
    EXPECT_EQ(version.out, "Fixed=" KIT_VERSION ".0\r\nCompanyName=Norvelle\r\nFileDescription=" +
                               std::string(f.description) +
                               "\r\nFileVersion=" KIT_VERSION "\r\nOriginalFilename=" + f.file +
                               "\r\nProductName=Norvelle adapter kit\r\nProductVersion=" KIT_VERSION
                               "\r\n");
  }
  // Every way the relay writes an event reads as a sentence.
  const struct {
    std::vector<std::string> idAndString;
    const char* begins;
  } texts[] = {
      {{"E0000C8C", "HOSTNAME MISS"},
       "An alert was rejected before it reached the operations "
       "console. Reason: HOSTNAME MISS."},
      {{"E0000C8C", "TIME MISS"},
       "An alert was rejected before it reached the operations "
       "console. Reason: TIME MISS."},
      {{"E0000C8C"}, "An alert was rejected before it reached the operations console. Reason: %1."},
      {{"E0000C8D"}, "The operations console library did not accept an alert: msgpost3"},
  };
  const std::string relay = harness::CurrentTarget().TargetPath(Dir() + "/bin/evtrelay.exe");
  for (const auto& t : texts) {
    SCOPED_TRACE(t.idAndString[0]);
    std::vector<std::string> args = {"message", relay};
    args.insert(args.end(), t.idAndString.begin(), t.idAndString.end());
    const harness::RunResult r = Probe(args);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.rfind(t.begins, 0), 0u) << r.out;
  }
}

// The shipped 32-bit programs, and the 64-bit build of the same sources:
// address-space layout randomisation, no executable data, no structured
// exception handlers (32-bit) or the full 64-bit randomisation, stack
// canaries, no debug sections (they are in the file the debug link names),
// and the manifest that keeps them out of file virtualisation.
TEST_F(Packaged, ShippedProgramsAreHardened) {
  const std::string unpacked = Dir() + "/hardened";
  ASSERT_EQ(Sh("unzip -q -o " + Quoted(Zip()) + " 'bin/*.exe' -d " + Quoted(unpacked) +
               " && unzip -q -o " + Quoted(DebugZip()) + " -d " + Quoted(unpacked + "/bin"))
                .status,
            0);
  const std::string win64 = harness::CurrentTarget().buildDir + "/bin/";
  const std::vector<std::string> flags32 = {"DYNAMIC_BASE", "NX_COMPAT", "NO_SEH"};
  const std::vector<std::string> flags64 = {"DYNAMIC_BASE", "NX_COMPAT", "HIGH_ENTROPY_VA"};
  const struct {
    std::string file;
    const char* tools;  ///< the binutils prefix for its architecture
    std::vector<std::string> flags;
  } programs[] = {
      {unpacked + "/bin/credseal.exe", "i686-w64-mingw32-", flags32},
      {unpacked + "/bin/evtrelay.exe", "i686-w64-mingw32-", flags32},
      {win64 + "credseal.exe", "x86_64-w64-mingw32-", flags64},
      {win64 + "evtrelay.exe", "x86_64-w64-mingw32-", flags64},
  };
  for (const auto& p : programs) {
    SCOPED_TRACE(p.file);
    const std::string tools = p.tools;
    const std::string headers = Sh(tools + "objdump -p " + Quoted(p.file)).out;
    for (const std::string& flag : p.flags) {
      EXPECT_NE(headers.find("\t" + flag + "\n"), std::string::npos) << flag;
    }
    const std::string sections =
        Sh(tools + "objdump -h " + Quoted(p.file) + " | awk '/^ +[0-9]/ { print $2 }'").out;
    EXPECT_EQ(sections.find(".debug"), std::string::npos) << sections;
    const std::string link = Dir() + "/debuglink";
    ASSERT_EQ(Sh(tools + "objcopy --dump-section .gnu_debuglink=" + Quoted(link) + " " +
                 Quoted(p.file) + " " + Quoted(Dir() + "/scratch.exe"))
                  .status,
              0);
    const std::string debugName = fs::path(p.file).filename().string() + ".debug";
    EXPECT_EQ(ReadFile(link).value_or("").rfind(debugName + '\0', 0), 0u);
    const std::string debugFile = fs::path(p.file).parent_path() / debugName;
    EXPECT_EQ(
        Sh(tools + "objdump -t " + Quoted(debugFile) + " | grep -c ' ___*stack_chk_fail$'").out,
        "1\n")
        << "stack canaries";
    // A structured exception handler is registered by a store to fs:0.
    EXPECT_EQ(Sh(tools + "objdump -d " + Quoted(p.file) + " | grep -c ',%fs:0x0$'").out, "0\n");
    const std::string manifest = Sh("wrestool -x --raw --type=24 --name=1 " + Quoted(p.file)).out;
    for (const char* part :
         {"level=\"asInvoker\"", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
      EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(manifest.find("longPathAware"), std::string::npos);
  }
}

// --- the MSI's permissions -------------------------------------------------------

/// The rows of an MSI table, sorted, each split into its fields.
std::vector<std::vector<std::string>> TableRows(const std::string& msi, const char* table) {
  std::istringstream lines(
      Sh("msiinfo export " + Quoted(msi) + " " + table + " | tail -n +4 | LC_ALL=C sort").out);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string>& fields = rows.emplace_back();
    std::istringstream columns(line);
    for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
  }
  return rows;
}

/// The security descriptor an SDDL text gives, as the probe lists it.
std::string Descriptor(const std::string& sddl) {
  const harness::RunResult r = Probe({"sddl", sddl});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  std::string text;
  for (char c : r.out) {
    if (c != '\r') text += c;
  }
  return text;
}

// Administrators own the tree; SYSTEM and Administrators have full control
// of every folder, Users may read and run the programs, and etc is
// theirs alone, or also the relay account's (LocalService or
// NetworkService: exactly one of its rows applies), which gets only what
// its lock file needs. The installed credential file keeps a DACL of its
// own. Inherited entries stay out. Wine applies none of it, so the tables
// are what is checked.
TEST_F(Packaged, MsiLocksItsFolders) {
  const std::string owner = "owner=S-1-5-32-544\nprotected=1\n";
  const std::string full = "ace type=0 flags=0x03 mask=0x001f01ff sid=";
  const std::string admins = full + "S-1-5-18\n" + full + "S-1-5-32-544\n";
  const std::string users = "ace type=0 flags=0x03 mask=0x001200a9 sid=S-1-5-32-545\n";
  const auto relay = [](const std::string& sid) {
    return "ace type=0 flags=0x00 mask=0x00100022 sid=" + sid +
           "\nace type=0 flags=0x09 mask=0x00120089 sid=" + sid +
           "\nace type=0 flags=0x09 mask=0x00130116 sid=S-1-3-0\n";
  };
  const std::string fileOnly = "ace type=0 flags=0x00 mask=0x001f01ff sid=";
  const std::string rows[][5] = {
      {"LockBin", "BINDIR", "CreateFolder", "", owner + admins + users},
      {"LockCredentialFile", "credseal.csv", "File", "",
       owner + fileOnly + "S-1-5-18\n" + fileOnly + "S-1-5-32-544\n"},
      {"LockDoc", "DOCDIR", "CreateFolder", "", owner + admins + users},
      {"LockEtc", "ETCDIR", "CreateFolder", "NOT RelayAccount", owner + admins},
      {"LockEtcLocalService", "ETCDIR", "CreateFolder", "RelayAccount~=\"S-1-5-19\"",
       owner + admins + relay("S-1-5-19")},
      {"LockEtcNetworkService", "ETCDIR", "CreateFolder", "RelayAccount~=\"S-1-5-20\"",
       owner + admins + relay("S-1-5-20")},
      {"LockInstallRoot", "INSTALLDIR", "CreateFolder", "", owner + admins + users},
  };
  const std::vector<std::vector<std::string>> table = TableRows(Msi(), "MsiLockPermissionsEx");
  ASSERT_EQ(table.size(), std::size(rows));
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& f = table[i];
    const auto& row = rows[i];
    SCOPED_TRACE(row[0]);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0], row[0]);
    EXPECT_EQ(f[1], row[1]);
    EXPECT_EQ(f[2], row[2]);
    EXPECT_EQ(f[4], row[3]);
    EXPECT_EQ(Descriptor(f[3]), row[4]) << f[3];
  }
  EXPECT_NE(Sh("msiinfo suminfo " + Quoted(Msi())).out.find("Version: 500 "), std::string::npos)
      << "Windows Installer 5.0, which knows the table";
  EXPECT_NE(Sh("msiinfo export " + Quoted(Msi()) + " Property")
                .out.find("SecureCustomProperties\tINSTALLDIR;RELAY_ACCOUNT_SID;"),
            std::string::npos);
}

// Each refusal says why and what to do in words of its own: the pages
// under doc\ are not installed yet when it shows.
TEST_F(Packaged, MsiSaysWhyItRefuses) {
  const struct {
    const char* condition;
    const char* says;
  } refusals[] = {
      {"NOT ExistingInstallDir OR Installed OR WIX_UPGRADE_DETECTED",
       "The folder [INSTALLDIR] exists already. A first installation makes its folder itself"},
      {"NOT Installed OR NOT RELAY_ACCOUNT_SID OR REINSTALL OR REMOVE",
       "to change its relay account, add REINSTALL=ALL REINSTALLMODE=amus"},
      {"NOT RELAY_ACCOUNT_SID OR RELAY_ACCOUNT_SID~=\"S-1-5-18\" OR "
       "RELAY_ACCOUNT_SID~=\"S-1-5-19\" OR RELAY_ACCOUNT_SID~=\"S-1-5-20\"",
       "RELAY_ACCOUNT_SID takes S-1-5-19 (LocalService), S-1-5-20 (NetworkService) or S-1-5-18"},
      {"NOT WIX_DOWNGRADE_DETECTED", "A newer version of the Norvelle adapter kit"},
  };
  const std::vector<std::vector<std::string>> table = TableRows(Msi(), "LaunchCondition");
  ASSERT_EQ(table.size(), std::size(refusals));
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.condition);
    const auto row = std::find_if(table.begin(), table.end(), [&](const auto& f) {
      return f.size() == 2 && f[0] == r.condition;
    });
    ASSERT_NE(row, table.end());
    EXPECT_NE((*row)[1].find(r.says), std::string::npos) << (*row)[1];
    EXPECT_EQ((*row)[1].find("README"), std::string::npos) << (*row)[1];
  }
}

/// One entry of a DACL, as the probe lists it.
struct Ace {
  unsigned flags = 0;
  unsigned mask = 0;
  std::string sid;
};

std::vector<Ace> Entries(const std::string& descriptor) {
  std::vector<Ace> entries;
  std::istringstream lines(descriptor);
  for (std::string line; std::getline(lines, line);) {
    Ace ace;
    char sid[128] = "";
    if (std::sscanf(line.c_str(), "ace type=0 flags=0x%x mask=0x%x sid=%127s", &ace.flags,
                    &ace.mask, sid) == 3) {
      ace.sid = sid;
      entries.push_back(ace);
    }
  }
  return entries;
}

// What the relay account may do under each of its rows, bit by bit, from
// the entries that apply: on etc itself, on a file another account made
// there (the entries files inherit: AdpEvt.ini; credseal.csv has a DACL
// of its own), and on a file it made itself (CREATOR OWNER's entries
// too). It creates and deletes its lock file and reads the profile; it
// can make no folder or junction in etc, and can delete, replace or
// change nothing it did not make.
TEST_F(Packaged, RelayAccountGetsWhatItsLockFileNeeds) {
  enum On { kEtc, kOthersFile, kOwnFile };
  constexpr unsigned kDelete = 0x10000, kWriteDac = 0x40000, kWriteOwner = 0x80000;
  const struct {
    const char* right;
    On on;
    unsigned bits;
    bool granted;  ///< every bit granted, or none of them
  } rights[] = {
      {"create the lock file", kEtc, 0x2 /* FILE_ADD_FILE */, true},
      {"pass through etc", kEtc, 0x20 /* FILE_TRAVERSE */, true},
      {"make a folder or a junction", kEtc, 0x4 /* FILE_ADD_SUBDIRECTORY */, false},
      {"delete or replace anything in etc", kEtc, 0x40 /* FILE_DELETE_CHILD */, false},
      {"list etc", kEtc, 0x1 /* FILE_LIST_DIRECTORY */, false},
      {"delete etc or change its permissions", kEtc, kDelete | kWriteDac | kWriteOwner, false},
      {"read the profile", kOthersFile, 0x120089 /* FILE_GENERIC_READ */, true},
      {"write, delete or re-permit another's file", kOthersFile,
       0x2 | 0x4 | 0x10 | 0x100 | kDelete | kWriteDac | kWriteOwner, false},
      {"delete its own lock file", kOwnFile, kDelete, true},
      {"write its own lock file", kOwnFile, 0x120116 /* FILE_GENERIC_WRITE */, true},
      {"take its own file's ownership", kOwnFile, kWriteOwner, false},
  };
  constexpr unsigned kObjectInherit = 0x01, kInheritOnly = 0x08;
  for (const auto& [lockRow, account] : {std::pair{"LockEtcLocalService", "S-1-5-19"},
                                         std::pair{"LockEtcNetworkService", "S-1-5-20"}}) {
    SCOPED_TRACE(lockRow);
    std::string sddl;
    for (const auto& f : TableRows(Msi(), "MsiLockPermissionsEx")) {
      if (f.size() == 5 && f[0] == lockRow) sddl = f[3];
    }
    unsigned masks[3] = {};
    for (const Ace& ace : Entries(Descriptor(sddl))) {
      const bool inherited = (ace.flags & kObjectInherit) != 0;
      if (ace.sid == account && (ace.flags & kInheritOnly) == 0) masks[kEtc] |= ace.mask;
      if (ace.sid == account && inherited) masks[kOthersFile] |= ace.mask;
      if ((ace.sid == account || ace.sid == "S-1-3-0") && inherited) masks[kOwnFile] |= ace.mask;
    }
    for (const auto& r : rights) {
      SCOPED_TRACE(r.right);
      EXPECT_EQ(masks[r.on] & r.bits, r.granted ? r.bits : 0u) << std::hex << masks[r.on];
    }
  }
}

// --- the MSI and the ZIP under Wine ----------------------------------------------

/// A throwaway Wine prefix that runs 32-bit programs, made for the suite.
class UnderWine : public Packaged {
 protected:
  static void SetUpTestSuite() {
    Packaged::SetUpTestSuite();
    prefix_ = Dir() + "/prefix";
    const Shell made = Wine32({KIT_WIN32_BUILD_DIR "/bin/harness_probe.exe", "exit", "0"});
    ASSERT_EQ(made.status, 0) << made.out;
    // One server for the whole suite: a program started just as a server
    // with no programs left ends loses it ("wine client error").
    const std::string server = Quoted(kSource + "/cmake/wine-server") + " " + Quoted(prefix_);
    Sh(server + " -w && " + server + " -p60 </dev/null >/dev/null 2>&1");
  }
  static void TearDownTestSuite() {
    Sh(Quoted(kSource + "/cmake/wine-server") + " " + Quoted(prefix_) + " -k 2>/dev/null");
    Packaged::TearDownTestSuite();
  }

  /// A Windows program under `runner`, started in the host directory `cwd`.
  static Shell Run(const char* runner, const std::vector<std::string>& args,
                   const std::string& cwd = ".") {
    std::string command =
        "cd " + Quoted(cwd) + " && " + Quoted(kSource + "/cmake/" + runner) + " " + Quoted(prefix_);
    for (const auto& a : args) command += " " + Quoted(a);
    const Shell first = Sh(command + " 2>&1");
    // Every command the suite runs under Wine may run twice.
    return harness::WineFailedToStart(first.out) ? Sh(command + " 2>&1") : first;
  }
  static Shell Wine64(const std::vector<std::string>& args, const std::string& cwd = ".") {
    return Run("wine-run", args, cwd);
  }
  static Shell Wine32(const std::vector<std::string>& args) { return Run("wine32-run", args); }

  /// The event source's values as `reg query` lists them, or "" without it.
  static std::string EventSource() {
    const Shell s = Wine64({"reg", "query", kEventKey});
    return s.status == 0 ? s.out : "";
  }
  static std::string DriveC(const std::string& path) { return prefix_ + "/drive_c/" + path; }
  /// How many products Windows Installer has registered (a 32-bit package
  /// in the 32-bit registry view).
  static int Products() {
    const std::string keys =
        Wine64({"reg", "query", R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall)",
                "/reg:32"})
            .out;
    int n = 0;
    for (std::size_t at = 0; (at = keys.find("\\{", at)) != std::string::npos; ++at) ++n;
    return n;
  }
  /// A value the package saved (32-bit registry view), or "(none)".
  static std::string Saved(const char* name) {
    const Shell s =
        Wine64({"reg", "query", "HKLM\\Software\\Norvelle\\AdapterKit", "/v", name, "/reg:32"});
    const std::string marker = std::string(name) + "    REG_SZ    ";
    const std::size_t at = s.out.find(marker);
    if (s.status != 0 || at == std::string::npos) return "(none)";
    const std::size_t start = at + marker.size();
    return s.out.substr(start, s.out.find_first_of("\r\n", start) - start);
  }

  static std::string prefix_;
};
std::string UnderWine::prefix_;

std::string Registered(const std::string& dir) {
  return "EventMessageFile    REG_EXPAND_SZ    C:\\" + dir + "\\bin\\evtrelay.exe";
}

/// The value a property had when the installation ended, as an msiexec
/// log records it, or "" when it was not set.
std::string LoggedProperty(const std::string& log, const std::string& name) {
  const std::string marker = "Property(S): " + name + " = ";
  const std::string text = ReadFile(log).value_or("");
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return "";
  const std::size_t start = at + marker.size();
  return text.substr(start, text.find_first_of("\r\n", start) - start);
}

// An installation's life under Wine, one prefix, step by step: what an
// ordinary user put in the folder first is never taken over, a package
// rebuilt at the same version replaces the installed one, the relay account
// can be changed and dropped, and what the administrator made stays.
TEST_F(UnderWine, MsiInstallsUpgradesAndUninstallsKeepingTheData) {
  // The same package rebuilt (another product code), and again as a newer
  // version: version 99.0.0, another product code, and the upgrade rows
  // that go with it.
  Package(Dir() + "/again");
  const std::string rebuilt = Dir() + "/again/" + kName + ".msi";
  const std::string newer = Dir() + "/newer.msi";
  fs::copy_file(rebuilt, newer);
  // The upgrade rows' versions are keys, so the table is exported, edited
  // and imported whole.
  const Shell patched = Sh("cd " + Quoted(Dir()) + R"( &&
      msiinfo export newer.msi Upgrade | sed 's/\t)" KIT_VERSION R"(\t/\t99.0.0\t/' >Upgrade.idt &&
      msibuild newer.msi -i Upgrade.idt &&
      msibuild newer.msi -q "UPDATE \`Property\` SET \`Value\` = '99.0.0'
                             WHERE \`Property\` = 'ProductVersion'" &&
      msibuild newer.msi -q "UPDATE \`Property\` SET \`Value\` = '{9E9E9E9E-0000-4000-8000-000000000099}'
                             WHERE \`Property\` = 'ProductCode'" 2>&1)");
  ASSERT_EQ(patched.status, 0) << patched.out;
  const std::string kDefault = "Program Files (x86)\\Norvelle";
  const std::string ini = DriveC("Program Files (x86)/Norvelle/etc/AdpEvt.ini");
  const std::string csv = DriveC("Program Files (x86)/Norvelle/etc/credseal.csv");
  const std::string edited = "[Severity]\r\nEDITED=1\r\n";
  const int kRefused = 1603 & 0xFF;  // ERROR_INSTALL_FAILURE, as Wine passes it on
  const struct {
    const char* step;
    std::vector<std::string> planted;  ///< made first under C:\ ("/" at the end: a folder)
    std::vector<std::string> msiexec;
    int status;
    std::string dir;           ///< the installation under C:\ the step deals with
    bool programs;             ///< bin\*.exe, the event source and one product are there afterwards
    const char* relayAccount;  ///< the saved account afterwards
  } steps[] = {
      {"a folder an ordinary user made first is refused: a DLL for bin, a folder at the lock's "
       "name",
       {"Adapters/Norvelle/bin/tloxtrc.dll", "Adapters/Norvelle/etc/nsm_evtlog.lock/"},
       {"/i", Msi(), "INSTALLDIR=C:\\Adapters\\Norvelle\\"},
       kRefused,
       "Adapters\\Norvelle",
       false,
       nullptr},
      {"an empty folder is refused too: whose it is cannot be seen",
       {"Empty/"},
       {"/i", Msi(), "INSTALLDIR=C:\\Empty\\"},
       kRefused,
       "Empty",
       false,
       nullptr},
      {"install under Program Files, with a relay account",
       {},
       {"/i", Msi(), "RELAY_ACCOUNT_SID=S-1-5-20"},
       0,
       kDefault,
       true,
       "S-1-5-20"},
      {"a package rebuilt at the same version replaces it; directory and account read back",
       {},
       {"/i", rebuilt},
       0,
       kDefault,
       true,
       "S-1-5-20"},
      {"the same package with another account only maintains the kit: refused",
       {},
       {"/i", rebuilt, "RELAY_ACCOUNT_SID=S-1-5-19"},
       kRefused,
       kDefault,
       true,
       "S-1-5-20"},
      // Wine removes a replaced product last, and with it the registration
      // of the upgrade code for the product that replaced it; the
      // reinstallation registers it again, which the upgrade then finds.
      {"reinstalled with another account",
       {},
       {"/i", rebuilt, "RELAY_ACCOUNT_SID=S-1-5-19", "REINSTALL=ALL", "REINSTALLMODE=amus"},
       0,
       kDefault,
       true,
       "S-1-5-19"},
      {"upgrade dropping the account (LocalSystem)",
       {},
       {"/i", newer, "RELAY_ACCOUNT_SID=S-1-5-18"},
       0,
       kDefault,
       true,
       ""},
      {"uninstall", {}, {"/x", newer}, 0, kDefault, false, nullptr},
      {"an account without a permission row is refused",
       {},
       {"/i", Msi(), "INSTALLDIR=C:\\Fresh\\", "RELAY_ACCOUNT_SID=S-1-5-21-1-2-3"},
       kRefused,
       "Fresh",
       false,
       nullptr},
      {"install elsewhere, without a relay account",
       {},
       {"/i", Msi(), "INSTALLDIR=C:\\Kit\\"},
       0,
       "Kit",
       true,
       ""},
  };
  bool sealed = false;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    for (const std::string& p : s.planted) {
      if (p.back() == '/') {
        fs::create_directories(DriveC(p));
      } else {
        fs::create_directories(fs::path(DriveC(p)).parent_path());
        harness::WriteFile(DriveC(p), "planted");
      }
    }
    std::string root = DriveC(s.dir);
    std::replace(root.begin(), root.end(), '\\', '/');
    // A lock file, which only the relay account that made it could delete:
    // an installation removes it, as the account may change.
    const std::string lock = root + "/etc/nsm_evtlog.lock";
    const bool locked = fs::is_directory(root + "/etc") && !harness::Exists(lock);
    if (locked) harness::WriteFile(lock, "");
    const std::string log = Dir() + "/msiexec.log";
    std::vector<std::string> args = {"msiexec"};
    for (const auto& a : s.msiexec)
      args.push_back(a.front() == '/' && a.size() > 3 ? harness::CurrentTarget().TargetPath(a) : a);
    args.insert(args.end(), {"/qn", "/l*v", harness::CurrentTarget().TargetPath(log)});
    const Shell installed = Wine64(args);
    ASSERT_EQ(installed.status, s.status) << installed.out;
    const bool installs = s.status == 0 && s.programs;
    EXPECT_EQ(harness::Exists(root + "/bin/credseal.exe"), s.programs);
    EXPECT_EQ(harness::Exists(root + "/bin/evtrelay.exe"), s.programs);
    EXPECT_EQ(fs::is_directory(root + "/doc"), s.programs) << "the pages, with the programs";
    const std::string source = EventSource();
    EXPECT_EQ(source.find(Registered(s.dir)) != std::string::npos, s.programs) << source;
    EXPECT_EQ(source.find("TypesSupported    REG_DWORD    0x7") != std::string::npos, s.programs)
        << source;
    EXPECT_EQ(Products(), s.programs ? 1 : 0);
    const std::string saved = Saved("RelayAccountSid");
    if (s.relayAccount != nullptr) {
      EXPECT_EQ(saved, s.relayAccount);
    } else {
      EXPECT_EQ(saved, "(none)");
    }
    // The account the permission rows' conditions saw.
    if (installs) {
      EXPECT_EQ(LoggedProperty(log, "RelayAccount"), s.relayAccount);
    }
    if (locked) {
      EXPECT_EQ(harness::Exists(lock), !installs);
    }
    if (s.dir == kDefault && installs && !sealed) {
      EXPECT_EQ(ReadFile(csv), "") << "the credential file's name taken, empty";
      for (const std::string& page : kPages) {
        EXPECT_EQ(ReadFile(root + "/doc/" + page + ".txt"), Shipped(page)) << page;
      }
      // The installed 32-bit program writes the installed etc\credseal.csv.
      const Shell sealing = Wine32({"C:\\" + kDefault + "\\bin\\credseal.exe", "-d", "SALES", "-u",
                                    "admin", "-p", "secret"});
      EXPECT_EQ(sealing.status, 0) << sealing.out;
      harness::WriteFile(ini, edited);
      sealed = true;
      // The installed relay, with the console stand-in beside it, makes its
      // lock file in the installed etc on a refused alert and deletes it on
      // an accepted one. (Wine applies no DACL: the rows' rights are
      // checked above.)
      const std::string console = root + "/bin/TALMSG.dll";
      fs::copy_file(KIT_WIN32_BUILD_DIR "/bin/standins/talmsg/TALMSG.dll", console);
      const std::string relay = "C:\\" + kDefault + "\\bin\\evtrelay.exe";
      EXPECT_EQ(Wine32({relay, "INFO"}).status, 0);
      EXPECT_TRUE(harness::Exists(lock));
      EXPECT_EQ(Wine32({relay, "INFO", "NODE01", "12:00:00", "2024/01/02", "text"}).status, 0);
      EXPECT_FALSE(harness::Exists(lock));
      fs::remove(console);
    }
    // What the administrator made is never removed or overwritten.
    if (sealed) {
      EXPECT_EQ(ReadFile(ini), edited);
      EXPECT_EQ(ReadFile(csv).value_or("").rfind("SALES,admin,", 0), 0u);
    }
  }
}

TEST_F(UnderWine, ZipHoldsTheTreeRegistersTheSourceAndIsReproducible) {
  const Shell listing = Sh("unzip -Z1 " + Quoted(Zip()));
  EXPECT_EQ(listing.out,
            "bin/credseal.exe\nbin/evtrelay.exe\nbin/register-eventsource.cmd\n"
            "bin/unregister-eventsource.cmd\ndoc/AdpEvt.ini.txt\ndoc/credseal.txt\n"
            "doc/evtrelay.txt\ndoc/install.txt\ndoc/security.txt\ndoc/troubleshooting.txt\n"
            "etc/AdpEvt.ini\netc/credseal.csv\n");
  // Each page as docs/ has it; plain ASCII, which every Notepad shows; its
  // links only to pages beside it.
  const std::regex link("\\]\\(([^)]*)\\)");
  for (const std::string& page : kPages) {
    SCOPED_TRACE(page);
    const std::string text =
        Sh("unzip -p " + Quoted(Zip()) + " " + Quoted("doc/" + page + ".txt")).out;
    EXPECT_EQ(text, Shipped(page));
    EXPECT_TRUE(std::all_of(text.begin(), text.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    for (std::sregex_iterator at(text.begin(), text.end(), link), end; at != end; ++at) {
      const std::string target = (*at)[1];
      EXPECT_NE(listing.out.find("doc/" + target + "\n"), std::string::npos) << target;
    }
  }
  // Packed again from a copy of the checkout in another folder, whose name
  // holds a blank and an "&": the programs record no folder, so the bytes
  // are the same.
  const std::string copy = Dir() + "/R&D copy";
  ASSERT_EQ(Sh("mkdir " + Quoted(copy) + " && tar -C " + Quoted(kSource) +
               " --exclude=./build --exclude=./dist -cf - . | tar -C " + Quoted(copy) + " -xf -")
                .status,
            0);
  const Shell second =
      Sh(Quoted(copy + "/scripts/package") + " " + Quoted(Dir() + "/second") + " 2>&1");
  ASSERT_EQ(second.status, 0) << second.out;
  for (const std::string suffix : {".zip", "-debug.zip"}) {
    EXPECT_EQ(ReadFile(Dir() + "/pkg/" + kName + suffix),
              ReadFile(Dir() + "/second/" + kName + suffix))
        << "one commit packed unsigned in two folders: " << suffix;
  }

  // Folder names holding what cmd treats specially: "&" splits a command
  // unless quoted, "%" starts an expansion (Wine's cmd expands what %~dp0
  // gives once more), "^" escapes, "!" expands where delayed expansion is
  // on, brackets end a block. Each registers its own path exactly, and
  // the reg.cmd in the current directory, which cmd would run for a bare
  // "reg", never runs.
  for (const std::string folder : {"R&D x", "100% x86", "%PATH%", "a^b", "x!y", "Kit (x86)"}) {
    SCOPED_TRACE(folder);
    ASSERT_EQ(
        Sh("unzip -q -o " + Quoted(Zip()) + " 'bin/*.cmd' -d " + Quoted(DriveC(folder))).status, 0);
    harness::WriteFile(DriveC(folder) + "/reg.cmd", "@echo planted reg.cmd\r\n");
    const std::string evtrelay = "C:\\" + folder + "\\bin\\evtrelay.exe";
    const struct {
      const char* script;
      bool registered;
      std::string says;
    } scripts[] = {
        {"register-eventsource.cmd", true,
         "Event source Norvelle registered: \"" + evtrelay + "\"\r\n"},
        {"unregister-eventsource.cmd", false, "Event source Norvelle removed.\r\n"},
    };
    for (const auto& s : scripts) {
      SCOPED_TRACE(s.script);
      const Shell ran = Wine64({"cmd", "/c", std::string("bin\\") + s.script}, DriveC(folder));
      EXPECT_EQ(ran.status, 0) << ran.out;
      EXPECT_EQ(ran.out, s.says);
      const std::string source = EventSource();
      EXPECT_EQ(source.find(Registered(folder) + "\r\n") != std::string::npos, s.registered)
          << source;
      EXPECT_EQ(source.find("TypesSupported    REG_DWORD    0x7") != std::string::npos,
                s.registered)
          << source;
    }
  }
}

// --- signing ------------------------------------------------------------------------

// The key has a pass phrase, which must reach osslsigncode in no argument
// (arguments show in every user's process list); a time-stamp server, when
// named, is passed on. A wrapper first on PATH records each call's
// arguments and hands the rest to the real tool, leaving out the time
// stamp, for which no server is reachable here.
TEST_F(Packaged, SignedPackageVerifiesAndAChangedByteDoesNot) {
  const std::string keys = Dir() + "/keys";
  const std::string pass = "Pass phrase Zq7";
  fs::create_directories(keys);
  ASSERT_EQ(Sh("cd " + Quoted(keys) +
               " && openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem "
               "-passout " +
               Quoted("pass:" + pass) +
               " -days 2 -subj '/CN=Norvelle test signing' -addext extendedKeyUsage=codeSigning "
               "2>&1")
                .status,
            0);
  const std::string wrapper = keys + "/bin/osslsigncode";
  fs::create_directories(keys + "/bin");
  harness::WriteFile(wrapper,
                     "#!/bin/sh\n"
                     "printf '%s\\n' \"$*\" >>\"$KIT_TEST_SIGN_LOG\"\n"
                     "for a; do shift; case $a in -ts) skip=1 ;; *) "
                     "[ -n \"$skip\" ] && skip= || set -- \"$@\" \"$a\" ;; esac; done\n"
                     "exec /usr/bin/osslsigncode \"$@\"\n");
  fs::permissions(wrapper, fs::perms::owner_all);
  const std::string log = keys + "/calls.log";
  const std::string signedDir = Dir() + "/signed";
  Package(signedDir,
          "PATH=" + Quoted(keys + "/bin") + ":\"$PATH\" KIT_TEST_SIGN_LOG=" + Quoted(log) +
              " KIT_SIGN_CERT=" + Quoted(keys + "/cert.pem") +
              " KIT_SIGN_KEY=" + Quoted(keys + "/key.pem") + " KIT_SIGN_PASS=" + Quoted(pass) +
              " KIT_SIGN_TIMESTAMP_URL=http://timestamp.invalid/tsa");
  const std::string calls = ReadFile(log).value_or("");
  std::istringstream lines(calls);
  int signed_ = 0;
  for (std::string line; std::getline(lines, line); ++signed_) {
    EXPECT_EQ(line.find("Zq7"), std::string::npos) << line;
    EXPECT_NE(line.find(" -readpass "), std::string::npos) << line;
    EXPECT_NE(line.find(" -ts http://timestamp.invalid/tsa "), std::string::npos) << line;
  }
  EXPECT_EQ(signed_, 3) << "two programs and the MSI";
  ASSERT_EQ(Sh("cd " + Quoted(signedDir) + " && unzip -q " + kName + ".zip bin/*.exe").status, 0);
  for (const std::string& file :
       std::vector<std::string>{"bin/credseal.exe", "bin/evtrelay.exe", kName + ".msi"}) {
    SCOPED_TRACE(file);
    const std::string path = signedDir + "/" + file;
    const std::string verify =
        "osslsigncode verify -CAfile " + Quoted(keys + "/cert.pem") + " -in " + Quoted(path);
    EXPECT_EQ(Sh(verify + " >/dev/null 2>&1").status, 0);
    ASSERT_EQ(
        Sh("printf '\\001' | dd of=" + Quoted(path) + " bs=1 seek=4096 conv=notrunc 2>/dev/null")
            .status,
        0);
    EXPECT_NE(Sh(verify + " >/dev/null 2>&1").status, 0);
  }
}

}  // namespace
