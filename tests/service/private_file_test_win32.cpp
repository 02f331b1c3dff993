// The service's files of patient data on Windows: created with a protected DACL for
// SYSTEM, Administrators and the service's own account, read back as the system keeps
// it.
#include <windows.h>
#include <aclapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/private_file.h"
#include "tests/support/support.h"
#include "tests/support/wine.h"

namespace {

using testsupport::TempDir;

bool SidIs(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type); }

// What the DACL of a file or folder grants, as the system reports it.
struct DaclView {
  bool read = false;
  bool isProtected = false;
  std::vector<std::pair<PSID, ACCESS_MASK>> allowed;  // valid while holder lives
  PSECURITY_DESCRIPTOR holder = nullptr;
  ~DaclView() { LocalFree(holder); }

  bool Grants(WELL_KNOWN_SID_TYPE type, ACCESS_MASK mask) const {
    for (const auto& ace : allowed)
      if (SidIs(ace.first, type) && (ace.second & mask) == mask) return true;
    return false;
  }
  bool GrantsAnything(WELL_KNOWN_SID_TYPE type) const {
    for (const auto& ace : allowed)
      if (SidIs(ace.first, type) && ace.second != 0) return true;
    return false;
  }
};

void ReadDacl(const std::string& path, DaclView& view) {
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &view.holder) != ERROR_SUCCESS)
    return;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(view.holder, &control, &revision);
  view.isProtected = (control & SE_DACL_PROTECTED) != 0;
  view.read = dacl != nullptr;  // a null DACL would let everyone in
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    view.allowed.push_back({&ace->SidStart, ace->Mask});
  }
}

// Nothing for Users, Authenticated Users or Everyone; full control for SYSTEM and
// Administrators; a DACL of its own that inherits nothing, unless inherited. Wine keeps a file's access only as
// its Unix mode and reports it as SYSTEM and the owner, with Everyone when others may
// read or write: there the grants to users are checked, not the rest.
void ExpectClosedToUsers(const std::string& path, bool inherited = false) {
  DaclView view;
  ReadDacl(path, view);
  ASSERT_TRUE(view.read) << path;
  EXPECT_FALSE(view.GrantsAnything(WinBuiltinUsersSid)) << path;
  EXPECT_FALSE(view.GrantsAnything(WinAuthenticatedUserSid)) << path;
  EXPECT_FALSE(view.GrantsAnything(WinWorldSid)) << path;
  EXPECT_TRUE(view.Grants(WinLocalSystemSid, FILE_ALL_ACCESS)) << path;
  if (testsupport::UnderWine()) return;
  EXPECT_EQ(!inherited, view.isProtected) << path;
  EXPECT_TRUE(view.Grants(WinBuiltinAdministratorsSid, FILE_ALL_ACCESS)) << path;
}

TEST(PrivateFileWin32, NewFilesAndFoldersAreClosedToUsers) {
  TempDir dir;
  std::string log = dir.File("KOLDANE.LOG");
  ASSERT_TRUE(AppendToPrivateFile(log.c_str(), "\nline", 5, "\x01\n", 2));
  EXPECT_EQ("\r\nline\x01\n", testsupport::ReadFile(log));
  ExpectClosedToUsers(log);

  // The data folder; on Windows also a file made in it without a DACL of its own, which
  // inherits the folder's (Wine inherits nothing).
  std::string folder = dir.File("Tervane");
  ASSERT_TRUE(CreatePrivateFolder(folder.c_str()));
  ExpectClosedToUsers(folder);
  EXPECT_FALSE(CreatePrivateFolder(folder.c_str()));  // there already
  if (testsupport::UnderWine()) return;
  std::string copy = folder + "\\_barcodeOUT.log";
  testsupport::WriteFile(copy, "job");
  ExpectClosedToUsers(copy, true);
}

}  // namespace
