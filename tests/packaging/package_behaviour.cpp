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
#include <sstream>
#include <string>
#include <vector>

#include "tests/harness/harness.h"

namespace {

namespace fs = std::filesystem;
using harness::ReadFile;

const std::string kSource = KIT_SOURCE_DIR;
const std::string kName = std::string("norvelle-kit-") + KIT_VERSION + "-win32";
const std::string kEventKey =
    R"(HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Norvelle)";

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
  const Shell s = Sh(environment + " " + kSource + "/scripts/package " + Quoted(dir) + " 2>&1");
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
// NetworkService: exactly one of its rows applies). Inherited entries stay
// out. Wine applies none of it, so the tables are what is checked.
TEST_F(Packaged, MsiLocksItsFolders) {
  const std::string owner = "owner=S-1-5-32-544\nprotected=1\n";
  const std::string full = "ace type=0 flags=0x03 mask=0x001f01ff sid=";
  const std::string admins = full + "S-1-5-18\n" + full + "S-1-5-32-544\n";
  const std::string modify = "ace type=0 flags=0x03 mask=0x001301bf sid=";
  const std::string users = "ace type=0 flags=0x03 mask=0x001200a9 sid=S-1-5-32-545\n";
  const std::string rows[][4] = {
      {"LockBin", "BINDIR", "", owner + admins + users},
      {"LockEtc", "ETCDIR", "NOT RELAY_ACCOUNT_SID", owner + admins},
      {"LockEtcLocalService", "ETCDIR", "RELAY_ACCOUNT_SID~=\"S-1-5-19\"",
       owner + admins + modify + "S-1-5-19\n"},
      {"LockEtcNetworkService", "ETCDIR", "RELAY_ACCOUNT_SID~=\"S-1-5-20\"",
       owner + admins + modify + "S-1-5-20\n"},
      {"LockInstallRoot", "INSTALLDIR", "", owner + admins + users},
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
    EXPECT_EQ(f[2], "CreateFolder");
    EXPECT_EQ(f[4], row[2]);
    EXPECT_EQ(Descriptor(f[3]), row[3]) << f[3];
  }
  EXPECT_NE(Sh("msiinfo suminfo " + Quoted(Msi())).out.find("Version: 500 "), std::string::npos)
      << "Windows Installer 5.0, which knows the table";
  EXPECT_NE(Sh("msiinfo export " + Quoted(Msi()) + " Property")
                .out.find("SecureCustomProperties\tINSTALLDIR;RELAY_ACCOUNT_SID;"),
            std::string::npos);
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
  }
  static void TearDownTestSuite() {
    Sh(kSource + "/cmake/wine-server " + Quoted(prefix_) + " -k 2>/dev/null");
    Packaged::TearDownTestSuite();
  }

  /// A Windows program under `runner`, started in the host directory `cwd`.
  static Shell Run(const char* runner, const std::vector<std::string>& args,
                   const std::string& cwd = ".") {
    std::string command =
        "cd " + Quoted(cwd) + " && " + kSource + "/cmake/" + runner + " " + Quoted(prefix_);
    for (const auto& a : args) command += " " + Quoted(a);
    return Sh(command + " 2>&1");
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

TEST_F(UnderWine, MsiInstallsUpgradesAndUninstallsKeepingTheData) {
  // The same package as a newer version: another product code, version
  // 99.0.0, and the upgrade rows that go with it.
  const std::string newer = Dir() + "/newer.msi";
  Package(Dir() + "/again");
  fs::copy_file(Dir() + "/again/" + kName + ".msi", newer);
  // The upgrade rows' versions are keys, so the table is exported, edited
  // and imported whole.
  const Shell patched = Sh("cd " + Quoted(Dir()) + R"( &&
      msiinfo export newer.msi Upgrade | sed 's/\t)" KIT_VERSION R"(\t/\t99.0.0\t/' >Upgrade.idt &&
      msibuild newer.msi -i Upgrade.idt &&
      msibuild newer.msi -q "UPDATE \`Property\` SET \`Value\` = '99.0.0'
                             WHERE \`Property\` = 'ProductVersion'" 2>&1)");
  ASSERT_EQ(patched.status, 0) << patched.out;
  const std::string kDefault = "Program Files (x86)\\Norvelle";
  const std::string ini = DriveC("Program Files (x86)/Norvelle/etc/AdpEvt.ini");
  const std::string csv = DriveC("Program Files (x86)/Norvelle/etc/credseal.csv");
  const std::string edited = "[Severity]\r\nEDITED=1\r\n";
  const int kRefused = 1603 & 0xFF;  // ERROR_INSTALL_FAILURE, as Wine passes it on
  const struct {
    const char* step;
    std::vector<std::string> msiexec;
    int status;
    std::string dir;           ///< the installation under C:\ the step deals with
    bool programs;             ///< bin\*.exe and the event source are there afterwards
    const char* relayAccount;  ///< the saved account afterwards
  } steps[] = {
      {"install under Program Files, with a relay account",
       {"/i", Msi(), "RELAY_ACCOUNT_SID=S-1-5-20"},
       0,
       kDefault,
       true,
       "S-1-5-20"},
      {"upgrade, directory and account read back", {"/i", newer}, 0, kDefault, true, "S-1-5-20"},
      {"uninstall", {"/x", newer}, 0, kDefault, false, nullptr},
      {"an account without a permission row is refused",
       {"/i", Msi(), "RELAY_ACCOUNT_SID=S-1-5-21-1-2-3"},
       kRefused,
       kDefault,
       false,
       nullptr},
      {"install elsewhere, without a relay account",
       {"/i", Msi(), "INSTALLDIR=C:\\Kit\\"},
       0,
       "Kit",
       true,
       ""},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    std::vector<std::string> args = {"msiexec"};
    for (const auto& a : s.msiexec)
      args.push_back(a.front() == '/' && a.size() > 3 ? harness::CurrentTarget().TargetPath(a) : a);
    args.push_back("/qn");
    const Shell installed = Wine64(args);
    ASSERT_EQ(installed.status, s.status) << installed.out;
    std::string bin = DriveC(s.dir + "/bin/");
    std::replace(bin.begin(), bin.end(), '\\', '/');
    EXPECT_EQ(harness::Exists(bin + "credseal.exe"), s.programs);
    EXPECT_EQ(harness::Exists(bin + "evtrelay.exe"), s.programs);
    const std::string source = EventSource();
    EXPECT_EQ(source.find(Registered(s.dir)) != std::string::npos, s.programs) << source;
    EXPECT_EQ(source.find("TypesSupported    REG_DWORD    0x7") != std::string::npos, s.programs)
        << source;
    const std::string saved = Saved("RelayAccountSid");
    if (s.relayAccount != nullptr) {
      EXPECT_EQ(saved, s.relayAccount);
    } else {
      EXPECT_EQ(saved, "(none)");
    }
    if (s.step == steps[0].step) {
      // The installed 32-bit program writes the installed etc\credseal.csv.
      const Shell sealed = Wine32({"C:\\" + kDefault + "\\bin\\credseal.exe", "-d", "SALES", "-u",
                                   "admin", "-p", "secret"});
      EXPECT_EQ(sealed.status, 0) << sealed.out;
      harness::WriteFile(ini, edited);
    }
    // What the administrator made is never removed or overwritten.
    EXPECT_EQ(ReadFile(ini), edited);
    EXPECT_EQ(ReadFile(csv).value_or("").rfind("SALES,admin,", 0), 0u);
  }
}

TEST_F(UnderWine, ZipHoldsTheTreeRegistersTheSourceAndIsReproducible) {
  const Shell listing = Sh("unzip -Z1 " + Quoted(Zip()));
  EXPECT_EQ(listing.out,
            "bin/credseal.exe\nbin/evtrelay.exe\nbin/register-eventsource.cmd\n"
            "bin/unregister-eventsource.cmd\netc/AdpEvt.ini\n");
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

  // A folder name that cmd would split at the "&" unless every use of the
  // script's own path is quoted.
  const std::string folder = "R&D x";
  ASSERT_EQ(Sh("unzip -q -o " + Quoted(Zip()) + " -d " + Quoted(DriveC(folder))).status, 0);
  const struct {
    const char* script;
    bool registered;
    std::string says;
  } scripts[] = {
      {"register-eventsource.cmd", true,
       "Event source Norvelle registered: \"C:\\R&D x\\bin\\evtrelay.exe\"\r\n"},
      {"unregister-eventsource.cmd", false, "Event source Norvelle removed.\r\n"},
  };
  for (const auto& s : scripts) {
    SCOPED_TRACE(s.script);
    const Shell ran = Wine64({"cmd", "/c", std::string("bin\\") + s.script}, DriveC(folder));
    EXPECT_EQ(ran.status, 0) << ran.out;
    EXPECT_EQ(ran.out, s.says);
    const std::string source = EventSource();
    EXPECT_EQ(source.find(Registered(folder)) != std::string::npos, s.registered) << source;
    EXPECT_EQ(source.find("TypesSupported    REG_DWORD    0x7") != std::string::npos, s.registered)
        << source;
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
