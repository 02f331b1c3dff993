#include <windows.h>

#include <cstring>

#include "platform/ascii_text.h"
#include "platform/service_manager.h"

namespace platform {

bool FullExecutablePath(char* out, std::size_t size) {
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  if (n == 0) {
    out[0] = '\0';
    return false;
  }
  if (n >= size) {
    // Cut to fit: registering a path that names another file would be worse than failing.
    out[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}

void PrintInstallNextSteps(const char*, unsigned long) {}

void SystemMessageText(unsigned long code, char* out, std::size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
      nullptr);
  if (n == 0 || text == nullptr) return;
  ascii::CopyCut(out, size, text, n);
  LocalFree(text);
}

bool ServiceManager::Open(unsigned long access) {
  Close();
  handle_ = OpenSCManagerA(nullptr, nullptr, access);
  return handle_ != nullptr;
}

void ServiceManager::Close() {
  if (handle_ != nullptr) CloseServiceHandle(static_cast<SC_HANDLE>(handle_));
  handle_ = nullptr;
}

bool InstalledService::Create(ServiceManager& manager, const ServiceDefinition& d) {
  Close();
  // The path in quotes when it holds a blank (or a tab): unquoted, the manager would try
  // each blank-separated head of it as a program first.
  char path[2048];
  const char* image = d.imagePath;
  if (std::strpbrk(d.imagePath, " \t") != nullptr && d.imagePath[0] != '"') {
    std::size_t n = std::strlen(d.imagePath);
    if (n + 3 > sizeof path) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    path[0] = '"';
    std::memcpy(path + 1, d.imagePath, n);
    path[n + 1] = '"';
    path[n + 2] = '\0';
    image = path;
  }
  handle_ = CreateServiceA(static_cast<SC_HANDLE>(manager.handle_), d.name, d.displayName,
                           d.access, d.serviceType, d.startType, d.errorControl, image,
                           nullptr, nullptr, d.dependencies, d.account, nullptr);
  return handle_ != nullptr;
}

bool InstalledService::Open(ServiceManager& manager, const char* name, unsigned long access) {
  Close();
  handle_ = OpenServiceA(static_cast<SC_HANDLE>(manager.handle_), name, access);
  return handle_ != nullptr;
}

bool InstalledService::Stop(unsigned long* state) {
  SERVICE_STATUS status = {};
  BOOL ok = ControlService(static_cast<SC_HANDLE>(handle_), SERVICE_CONTROL_STOP, &status);
  if (ok) *state = status.dwCurrentState;
  return ok != FALSE;
}

bool InstalledService::QueryState(unsigned long* state) {
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(static_cast<SC_HANDLE>(handle_), &status)) return false;
  *state = status.dwCurrentState;
  return true;
}

bool InstalledService::Delete() {
  return DeleteService(static_cast<SC_HANDLE>(handle_)) != FALSE;
}

void InstalledService::Close() {
  if (handle_ != nullptr) CloseServiceHandle(static_cast<SC_HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace platform
