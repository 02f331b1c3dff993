// Install and remove commands of Koldane and quorvel on Linux: the console texts, the
// exit codes (0 worked, 1 failed, 2 unknown switch) and the unit files they write into
// a unit directory of the test's own (TERVANE_UNIT_DIR), byte for byte; and --version.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "gtest/gtest.h"
#include "tests/service_frame/child_process.h"
#include "tests/support/support.h"
#include "tervane_version.h"

using servicetest::RunProgram;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

std::string KoldaneExe() { return testsupport::Env("KOLDANE_EXE"); }
std::string QuorvelExe() { return testsupport::Env("QUORVEL_EXE"); }

// A copy of a program at path (folders made as needed), so that a test controls the
// path the program registers.
void CopyProgram(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

class ServiceCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(KoldaneExe().empty() || QuorvelExe().empty())
        << "KOLDANE_EXE and QUORVEL_EXE name the programs (ctest sets them)";
  }
  std::string Run(const std::string& program, const std::string& argument, int expectedCode = 0) {
    int code = -1;
    std::string out = RunProgram(program, {argument}, {"TERVANE_UNIT_DIR=" + units.Path()}, &code);
    EXPECT_EQ(code, expectedCode) << program << " " << argument;
    return out;
  }
  std::string Unit(const std::string& name) { return units.File(name); }

  TempDir units;
  TempDir programs;
};

const char kKoldaneUnitHead[] =
    "[Unit]\n"
    "Description=Koldane\n"
    "After=network.target\n"
    "\n"
    "[Service]\n"
    "Type=notify\n"
    "ExecStart=";
const char kKoldaneUnitTail[] =
    "\n"
    "User=root\n"
    "\n"
    "[Install]\n"
    "WantedBy=multi-user.target\n";

const char kQuorvelUnitHead[] =
    "[Unit]\n"
    "Description=quorvel Sample Service\n"
    "After=network.target\n"
    "\n"
    "[Service]\n"
    "Type=notify\n"
    "ExecStart=";
const char kQuorvelUnitTail[] =
    "\n"
    "DynamicUser=yes\n"
    "AmbientCapabilities=CAP_NET_BIND_SERVICE\n"
    "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"
    "\n"
    "[Install]\n"
    "WantedBy=multi-user.target\n";

// What an install prints after its success line: the commands that load and start the
// unit.
const char kKoldaneNextSteps[] =
    "\nNext step:\n  systemctl daemon-reload\n  systemctl enable --now Koldane.service\n";
const char kQuorvelNextSteps[] =
    "\nNext step:\n  systemctl daemon-reload\n  systemctl start quorvel.service\n";

}  // namespace

TEST_F(ServiceCommands, KoldaneInstallsOnceAndRemovesOnce) {
  std::string exe = programs.File("Koldane");
  CopyProgram(KoldaneExe(), exe);

  EXPECT_EQ(Run(exe, "-i"), std::string("\n\nService Installed Sucessfully\n") + kKoldaneNextSteps);
  EXPECT_EQ(ReadFile(Unit("Koldane.service")),
            std::string(kKoldaneUnitHead) + "\"" + exe + "\"" + kKoldaneUnitTail);

  // The second install fails with the system's number and text for "exists".
  EXPECT_EQ(Run(exe, "-i", 1), "Error 17 : File exists\n\nError Installing Service\n");

  EXPECT_EQ(Run(exe, "-d"), "\n\nService UnInstalled Sucessfully\n");
  EXPECT_FALSE(FileExists(Unit("Koldane.service")));
  EXPECT_EQ(Run(exe, "-d", 1), "\n\nError UnInstalling Service\n");
}

TEST_F(ServiceCommands, KoldaneSwitchesAreExactAndOthersPrintTheUsage) {
  const std::string usage =
      "\n\nUnknown Switch Usage\n\nFor Install use Koldane -i\n\nFor UnInstall use Koldane -d\n";
  for (const char* argument :
       {"-I", "/i", "-D", "/d", "i", "-install", "", "-i ", "--VERSION", "-version", "/version"}) {
    EXPECT_EQ(Run(KoldaneExe(), argument, 2), usage) << "argument '" << argument << "'";
  }
  EXPECT_FALSE(FileExists(Unit("Koldane.service")));

  // Only the first argument counts.
  int code = -1;
  std::string out = RunProgram(KoldaneExe(), {"-x", "-i"}, {"TERVANE_UNIT_DIR=" + units.Path()}, &code);
  EXPECT_EQ(out, usage);
  EXPECT_EQ(code, 2);
  EXPECT_FALSE(FileExists(Unit("Koldane.service")));
}

TEST_F(ServiceCommands, KoldaneInstallFailsWithoutAUnitDirectory) {
  int code = -1;
  std::string out = RunProgram(KoldaneExe(), {"-i"},
                               {"TERVANE_UNIT_DIR=" + units.File("missing")}, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(out, "\n\nError Installing Service\n");  // no detail for the manager
  out = RunProgram(KoldaneExe(), {"-d"}, {"TERVANE_UNIT_DIR=" + units.File("missing")}, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(out, "\n\nError UnInstalling Service\n");
}

TEST_F(ServiceCommands, QuorvelInstallsOnceAndRemovesOnce) {
  std::string exe = programs.File("quorvel");
  CopyProgram(QuorvelExe(), exe);

  EXPECT_EQ(Run(exe, "-install"), std::string("quorvel is installed.\n") + kQuorvelNextSteps);
  EXPECT_EQ(ReadFile(Unit("quorvel.service")),
            std::string(kQuorvelUnitHead) + "\"" + exe + "\"" + kQuorvelUnitTail);
  EXPECT_EQ(Run(exe, "-install", 1), "CreateService failed w/err 0x00000011\n");  // EEXIST

  // Not running: removed without "Stopping".
  EXPECT_EQ(Run(exe, "-remove"), "quorvel is removed.\n");
  EXPECT_FALSE(FileExists(Unit("quorvel.service")));
  EXPECT_EQ(Run(exe, "-remove", 1), "OpenService failed w/err 0x00000002\n");  // ENOENT
}

TEST_F(ServiceCommands, QuorvelCommandWordsIgnoreCaseAfterDashOrSlash) {
  for (const char* word : {"-INSTALL", "/install", "-Install", "/InStAlL"}) {
    EXPECT_EQ(Run(QuorvelExe(), word), std::string("quorvel is installed.\n") + kQuorvelNextSteps) << word;
    EXPECT_TRUE(FileExists(Unit("quorvel.service")));
    EXPECT_EQ(Run(QuorvelExe(), word[0] == '-' ? "-REMOVE" : "/Remove"), "quorvel is removed.\n");
  }
  // Any other word after "-" or "/" installs nothing: the usage text, exit code 2.
  const std::string usage =
      "Parameters:\n -install  to install the service.\n -remove   to remove the service.\n";
  // "--version" is recognised exactly so, before this rule.
  for (const char* word : {"-", "/", "-installx", "-i", "/uninstall", "-remove ", "--VERSION",
                           "-version", "/version", "--version "}) {
    EXPECT_EQ(Run(QuorvelExe(), word, 2), usage) << word;
  }
  EXPECT_FALSE(FileExists(Unit("quorvel.service")));
}

TEST_F(ServiceCommands, BothServicesPrintTheirVersion) {
  EXPECT_EQ(Run(KoldaneExe(), "--version"), std::string("Koldane ") + TERVANE_VERSION + "\n");
  EXPECT_EQ(Run(QuorvelExe(), "--version"), std::string("quorvel ") + TERVANE_VERSION + "\n");
  EXPECT_FALSE(FileExists(Unit("Koldane.service")));
  EXPECT_FALSE(FileExists(Unit("quorvel.service")));
}

TEST_F(ServiceCommands, QuorvelReportsEachFailingStep) {
  int code = -1;
  std::string missing = "TERVANE_UNIT_DIR=" + units.File("missing");
  EXPECT_EQ(RunProgram(QuorvelExe(), {"-install"}, {missing}, &code),
            "OpenSCManager failed w/err 0x00000002\n");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(RunProgram(QuorvelExe(), {"-remove"}, {missing}, &code),
            "OpenSCManager failed w/err 0x00000002\n");
  EXPECT_EQ(code, 1);
  // A file where the directory should be.
  testsupport::WriteFile(units.File("plain"), "x");
  EXPECT_EQ(RunProgram(QuorvelExe(), {"-install"}, {"TERVANE_UNIT_DIR=" + units.File("plain")}, &code),
            "OpenSCManager failed w/err 0x00000014\n");  // ENOTDIR
  EXPECT_EQ(code, 1);
}

TEST_F(ServiceCommands, PathsWithBlanksAndSpecialCharactersAreQuotedAndEscaped) {
  // "%" starts a specifier in a unit file and is doubled; "$" is not expanded in the
  // program word and stays.
  std::string dir = programs.File("Label Service 100% $HOME");
  std::string koldane = dir + "/Koldane";
  std::string quorvel = dir + "/quorvel";
  CopyProgram(KoldaneExe(), koldane);
  CopyProgram(QuorvelExe(), quorvel);

  std::string escapedDir = programs.Path() + "/Label Service 100%% $HOME";
  EXPECT_EQ(Run(koldane, "-i"), std::string("\n\nService Installed Sucessfully\n") + kKoldaneNextSteps);
  EXPECT_EQ(ReadFile(Unit("Koldane.service")),
            std::string(kKoldaneUnitHead) + "\"" + escapedDir + "/Koldane\"" + kKoldaneUnitTail);
  EXPECT_EQ(Run(quorvel, "-install"), std::string("quorvel is installed.\n") + kQuorvelNextSteps);
  EXPECT_EQ(ReadFile(Unit("quorvel.service")),
            std::string(kQuorvelUnitHead) + "\"" + escapedDir + "/quorvel\"" + kQuorvelUnitTail);

  // systemd's own reading of the units: both name a program that is there.
  if (access("/usr/bin/systemd-analyze", X_OK) != 0) GTEST_SKIP() << "no systemd-analyze";
  int code = -1;
  std::string out = RunProgram("/usr/bin/systemd-analyze",
                               {"verify", Unit("Koldane.service"), Unit("quorvel.service")}, {}, &code);
  EXPECT_EQ(code, 0) << out;
}

TEST_F(ServiceCommands, AProgramPathSystemdCannotRunIsRefused) {
  // systemd runs no program whose path holds a quote, an apostrophe, a backslash or a
  // control character; nothing is installed for it.
  for (const char* name : {"say \"hi\"", "it's", "back\\slash", "two\nlines"}) {
    SCOPED_TRACE(name);
    std::string koldane = programs.File(name) + "/Koldane";
    std::string quorvel = programs.File(name) + "/quorvel";
    CopyProgram(KoldaneExe(), koldane);
    CopyProgram(QuorvelExe(), quorvel);
    EXPECT_EQ(Run(koldane, "-i", 1), "Error 22 : Invalid argument\n\nError Installing Service\n");
    EXPECT_EQ(Run(quorvel, "-install", 1), "CreateService failed w/err 0x00000016\n");
    EXPECT_FALSE(FileExists(Unit("Koldane.service")));
    EXPECT_FALSE(FileExists(Unit("quorvel.service")));
  }
}

TEST_F(ServiceCommands, QuorvelRefusesAPathLongerThanItsBuffer) {
  // quorvel takes its path into 260 characters; a longer path is not registered cut.
  std::string dir = programs.Path();
  while (dir.size() < 300) dir += "/" + std::string(40, 'd');
  std::string quorvel = dir + "/quorvel";
  CopyProgram(QuorvelExe(), quorvel);
  EXPECT_EQ(Run(quorvel, "-install", 1), "GetModuleFileName failed w/err 0x00000024\n");  // ENAMETOOLONG
  EXPECT_FALSE(FileExists(Unit("quorvel.service")));

  // Koldane takes up to 1023 characters: the same path installs, a longer one not.
  std::string koldane = dir + "/Koldane";
  CopyProgram(KoldaneExe(), koldane);
  EXPECT_EQ(Run(koldane, "-i"), std::string("\n\nService Installed Sucessfully\n") + kKoldaneNextSteps);
  EXPECT_EQ(Run(koldane, "-d"), "\n\nService UnInstalled Sucessfully\n");
  while (dir.size() < 1100) dir += "/" + std::string(40, 'e');
  koldane = dir + "/Koldane";
  CopyProgram(KoldaneExe(), koldane);
  EXPECT_EQ(Run(koldane, "-i", 1), "Error 36 : File name too long\n\nError Installing Service\n");
  EXPECT_FALSE(FileExists(Unit("Koldane.service")));
}
