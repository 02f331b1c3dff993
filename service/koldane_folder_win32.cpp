#include <windows.h>
#include <shlobj.h>

#include <string>

#include "service/job_server.h"
#include "service/koldane_folder.h"
#include "service/private_file.h"

// The service manager starts a service in System32, a folder every user may read: the
// job copies (patient data) go to %ProgramData%\Tervane instead, which the installer
// makes for SYSTEM and Administrators only; a missing one is made here the same way.
void EnterKoldaneDataFolder(CJobServer& server) {
  char common[MAX_PATH];
  std::string failure;
  std::string folder;
  if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common) != S_OK) {
    failure = "ProgramData not found";
  } else {
    folder = std::string(common) + "\\Tervane";
    DWORD attributes = GetFileAttributesA(folder.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!exists && !CreatePrivateFolder(folder.c_str())) {
      failure = "cannot be made (error " + std::to_string(GetLastError()) + ")";
    } else if (!SetCurrentDirectoryA(folder.c_str())) {
      failure = "cannot be entered (error " + std::to_string(GetLastError()) + ")";
    }
  }
  if (failure.empty()) return;
  char current[MAX_PATH] = "?";
  GetCurrentDirectoryA(sizeof current, current);
  std::string line = "Data folder " + folder + " " + failure + ": job copies stay in " + current;
  server.Log(line.c_str());
}
