// The installed Linux layout: where the services' settings and logs lie, where the
// client reads barcode.ini and writes its argument log, and what it does when
// /etc/tervane/barcode.ini is missing.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/client_entry.h"
#include "client/client_files.h"
#include "client/client_settings_file.h"
#include "service/koldane_service.h"
#include "service/service_paths.h"
#include "service_frame/service_commands.h"
#include "tervane_layout.h"
#include "tests/support/support.h"

namespace {

using testsupport::TempDir;

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

// Standard error (fd 2) or output (fd 1) of the calls made while the object lives,
// kept in a file.
class OutputCapture {
 public:
  explicit OutputCapture(int fd) : fd_(fd), path_(dir_.File("output")) {
    Flush();
    saved_ = dup(fd_);
    std::FILE* f = std::fopen(path_.c_str(), "w");
    dup2(fileno(f), fd_);
    std::fclose(f);
  }
  std::string Text() {
    Flush();
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
    return testsupport::ReadFile(path_);
  }
  ~OutputCapture() {
    if (saved_ >= 0) Text();
  }

 private:
  void Flush() { std::fflush(fd_ == 1 ? stdout : stderr); }
  int fd_;
  TempDir dir_;
  std::string path_;
  int saved_ = -1;
};

TEST(InstalledServicePaths, SettingsAndLogLieInTheSystemFoldersNamedAfterTheProgram) {
  char settings[ServicePaths::kSize];
  char log[ServicePaths::kSize];
  DeriveServicePaths("/usr/sbin/Koldane", settings, log, sizeof settings);
  EXPECT_EQ(std::string(layout::kSettingsDir) + "/Koldane.INI", settings);
  EXPECT_EQ(std::string(layout::kLogDir) + "/Koldane.LOG", log);
  DeriveServicePaths("/opt/x/quorvel", settings, log, sizeof settings);
  EXPECT_EQ(std::string(layout::kSettingsDir) + "/quorvel.INI", settings);
  EXPECT_EQ(std::string(layout::kLogDir) + "/quorvel.LOG", log);

  // A path that does not fit names no file at all.
  char small[8];
  char smallLog[8];
  DeriveServicePaths("/usr/sbin/Koldane", small, smallLog, sizeof small);
  EXPECT_STREQ("", small);
  EXPECT_STREQ("", smallLog);
}

// The package ships the services' units: the install commands write none (one in
// /etc/systemd/system would take the place of the shipped unit and run as root), the
// remove commands delete none, and each says the systemctl command to use instead.
TEST(InstalledServiceCommands, InstallAndRemoveLeaveTheUnitsToThePackage) {
  TempDir units;
  ScopedEnv unitDir("TERVANE_UNIT_DIR", units.Path().c_str());
  const std::string koldane = units.File("Koldane.service");
  const std::string quorvel = units.File("quorvel.service");
  bool worked[4];
  bool written[2];
  bool kept[2];
  std::string said;
  {
    OutputCapture out(1);  // the test's own lines are written after it
    worked[0] = InstallKoldane();
    worked[1] = InstallService();
    written[0] = testsupport::FileExists(koldane);
    written[1] = testsupport::FileExists(quorvel);
    testsupport::WriteFile(koldane, "[Service]\n");
    testsupport::WriteFile(quorvel, "[Service]\n");
    worked[2] = RemoveKoldane();
    worked[3] = RemoveService();
    kept[0] = testsupport::FileExists(koldane);
    kept[1] = testsupport::FileExists(quorvel);
    said = out.Text();
  }
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(worked[i]) << "command " << i << "; said:\n" << said;
  EXPECT_FALSE(written[0] || written[1]);
  EXPECT_TRUE(kept[0] && kept[1]);
  for (const char* line : {"  systemctl enable --now Koldane.service\n", "  systemctl enable --now quorvel.service\n",
                           "  systemctl disable --now Koldane.service\n", "  systemctl disable --now quorvel.service\n"}) {
    EXPECT_NE(std::string::npos, said.find(line)) << line << " in:\n" << said;
  }
}

TEST(InstalledClientFiles, SettingsInTheSystemFolderArgumentLogInTheUsersStateFolder) {
  ScopedEnv home("HOME", "/home/lab");
  {
    ScopedEnv state("XDG_STATE_HOME", nullptr);
    ClientFiles files = ProgramClientFiles();
    EXPECT_EQ(std::string(layout::kSettingsDir) + "/barcode.ini", files.settings);
    EXPECT_EQ("/home/lab/.local/state/tervane/_tervane_arg.log", files.argumentLog);
    EXPECT_FALSE(files.createMissingSettings);
  }
  ScopedEnv state("XDG_STATE_HOME", "/srv/state");
  EXPECT_EQ("/srv/state/tervane/_tervane_arg.log", ProgramClientFiles().argumentLog);
  // A relative folder is no state folder: the home's default applies.
  ScopedEnv relative("XDG_STATE_HOME", "state");
  EXPECT_EQ("/home/lab/.local/state/tervane/_tervane_arg.log", ProgramClientFiles().argumentLog);
}

TEST(InstalledClientFiles, MissingSettingsAreReportedAndNotWritten) {
  TempDir etc;
  ClientFiles files = ProgramClientFiles();
  files.settings = etc.File("barcode.ini");
  ClientSettings settings;
  MemoryDelivery delivery;
  OutputCapture err(2);
  EXPECT_EQ(0, RunClientProgram(kTervaneBuild, "x://0\\A1", files, settings, delivery));
  EXPECT_EQ("Tervane: cannot read " + files.settings +
                " (No such file or directory): the built-in settings apply\n",
            err.Text());
  EXPECT_FALSE(testsupport::FileExists(files.settings));
  // The run goes on with the built-in settings.
  ASSERT_EQ(1u, delivery.jobs.size());
  EXPECT_STREQ("COM1", settings.portName);
}

TEST(InstalledClientFiles, ArgumentLogFolderIsMadeForItsUserOnly) {
  TempDir etc;
  TempDir home;
  testsupport::WriteFile(etc.File("barcode.ini"), "[debug]\r\nDEBUGMODE=1\r\n");
  ScopedEnv homeEnv("HOME", home.Path().c_str());
  ScopedEnv state("XDG_STATE_HOME", nullptr);
  ClientFiles files = ProgramClientFiles();
  files.settings = etc.File("barcode.ini");
  ClientSettings settings;
  MemoryDelivery delivery;
  EXPECT_EQ(0, RunClientProgram(kTervaneBuild, "x://0\\A1", files, settings, delivery));
  EXPECT_EQ(home.Path() + "/.local/state/tervane/_tervane_arg.log", files.argumentLog);
  EXPECT_EQ(0u, testsupport::ReadFile(files.argumentLog).find("x://0\\A1\n"));
  for (const char* folder : {"/.local", "/.local/state", "/.local/state/tervane"}) {
    struct stat st;
    ASSERT_EQ(0, stat((home.Path() + folder).c_str(), &st)) << folder;
    EXPECT_EQ(0700u, st.st_mode & 07777) << folder;
  }
}

TEST(InstalledSettingsFiles, DefaultBarcodeIniIsTheFileTheClientWrites) {
  TempDir dir;
  WriteDefaultClientSettings(dir.File("barcode.ini").c_str());
  std::string written = testsupport::ReadFile(dir.File("barcode.ini"));
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written, testsupport::ReadFile(TERVANE_DEFAULT_BARCODE_INI));
}

}  // namespace
