// The kit as scripts/package delivers it: the resources of the shipped
// files, the MSI installed, upgraded, removed and installed again under
// Wine, the ZIP's tree, its registration script and its bytes, and signing.
// Run with --target=win64 --build=DIR: the resource probe is that build's.

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <filesystem>
#include <optional>
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

  static harness::InstallTree* dir_;
};
harness::InstallTree* Packaged::dir_ = nullptr;

// --- the shipped files' resources --------------------------------------------

harness::RunResult Probe(const std::vector<std::string>& args) {
  const harness::Target& t = harness::CurrentTarget();
  return harness::Run(t, t.Program("resource_probe"), args);
}

TEST_F(Packaged, ShippedFilesCarryVersionAndEventTexts) {
  ASSERT_EQ(Sh("cd " + Quoted(Dir()) + " && unzip -q -o " + Quoted(Zip()) + " bin/*.exe").status,
            0);
  const struct {
    const char* file;
    const char* description;
    const char* types;  ///< what wrestool lists: version (16), messages (11)
  } files[] = {
      {"credseal.exe", "Seals a database password into the credential file", "16"},
      {"evtrelay.exe", "Hands an alert to the operations console", "11 16"},
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
    Sh("WINEPREFIX=" + Quoted(prefix_) + " /usr/lib/wine/wineserver -k 2>/dev/null");
    Packaged::TearDownTestSuite();
  }

  static Shell Run(const char* runner, const std::vector<std::string>& args) {
    std::string command = kSource + "/cmake/" + runner + " " + Quoted(prefix_);
    for (const auto& a : args) command += " " + Quoted(a);
    return Sh(command + " 2>&1");
  }
  static Shell Wine64(const std::vector<std::string>& args) { return Run("wine-run", args); }
  static Shell Wine32(const std::vector<std::string>& args) { return Run("wine32-run", args); }

  /// The event source's values as `reg query` lists them, or "" without it.
  static std::string EventSource() {
    const Shell s = Wine64({"reg", "query", kEventKey});
    return s.status == 0 ? s.out : "";
  }
  static std::string DriveC(const std::string& path) { return prefix_ + "/drive_c/" + path; }

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
  const std::string ini = DriveC("Kit/etc/AdpEvt.ini");
  const std::string csv = DriveC("Kit/etc/credseal.csv");
  const std::string edited = "[Severity]\r\nEDITED=1\r\n";
  const struct {
    const char* step;
    std::vector<std::string> msiexec;
    bool programs;  ///< bin\*.exe and the event source are there afterwards
  } steps[] = {
      {"install", {"/i", Msi(), "INSTALLDIR=C:\\Kit\\"}, true},
      {"upgrade, found through the saved directory", {"/i", newer}, true},
      {"uninstall", {"/x", newer}, false},
      {"install again", {"/i", Msi(), "INSTALLDIR=C:\\Kit\\"}, true},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    std::vector<std::string> args = {"msiexec"};
    for (const auto& a : s.msiexec)
      args.push_back(a.front() == '/' && a.size() > 3 ? harness::CurrentTarget().TargetPath(a) : a);
    args.push_back("/qn");
    const Shell installed = Wine64(args);
    ASSERT_EQ(installed.status, 0) << installed.out;
    EXPECT_EQ(harness::Exists(DriveC("Kit/bin/credseal.exe")), s.programs);
    EXPECT_EQ(harness::Exists(DriveC("Kit/bin/evtrelay.exe")), s.programs);
    const std::string source = EventSource();
    EXPECT_EQ(source.find(Registered("Kit")) != std::string::npos, s.programs) << source;
    EXPECT_EQ(source.find("TypesSupported    REG_DWORD    0x7") != std::string::npos, s.programs)
        << source;
    if (std::string(s.step) == "install") {
      // The installed 32-bit program writes the installed etc\credseal.csv.
      const Shell sealed =
          Wine32({"C:\\Kit\\bin\\credseal.exe", "-d", "SALES", "-u", "admin", "-p", "secret"});
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
  Package(Dir() + "/second");
  EXPECT_EQ(ReadFile(Zip()), ReadFile(Dir() + "/second/" + kName + ".zip"))
      << "two unsigned packings of one commit";

  ASSERT_EQ(Sh("unzip -q -o " + Quoted(Zip()) + " -d " + Quoted(DriveC("ZipKit"))).status, 0);
  const struct {
    const char* script;
    bool registered;
  } scripts[] = {{"register-eventsource.cmd", true}, {"unregister-eventsource.cmd", false}};
  for (const auto& s : scripts) {
    SCOPED_TRACE(s.script);
    const Shell ran = Wine64({"cmd", "/c", std::string("C:\\ZipKit\\bin\\") + s.script});
    EXPECT_EQ(ran.status, 0) << ran.out;
    const std::string source = EventSource();
    EXPECT_EQ(source.find(Registered("ZipKit")) != std::string::npos, s.registered) << source;
    EXPECT_EQ(source.find("TypesSupported    REG_DWORD    0x7") != std::string::npos, s.registered)
        << source;
  }
}

// --- signing ------------------------------------------------------------------------

TEST_F(Packaged, SignedPackageVerifiesAndAChangedByteDoesNot) {
  const std::string keys = Dir() + "/keys";
  fs::create_directories(keys);
  ASSERT_EQ(Sh("cd " + Quoted(keys) +
               " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem "
               "-days 2 -subj '/CN=Norvelle test signing' -addext extendedKeyUsage=codeSigning "
               "2>&1")
                .status,
            0);
  const std::string signedDir = Dir() + "/signed";
  Package(signedDir, "KIT_SIGN_CERT=" + Quoted(keys + "/cert.pem") +
                         " KIT_SIGN_KEY=" + Quoted(keys + "/key.pem"));
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
