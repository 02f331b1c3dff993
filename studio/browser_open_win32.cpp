// Windows: the shell opens the address with the program registered for http.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "studio/browser_open.h"

void OpenBrowser(const std::string& url) {
  // The address is plain ASCII (a host and a port), so it widens byte by byte.
  const std::wstring wide(url.begin(), url.end());
  // Some shell handlers need COM on the calling thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  // ShellExecute returns a value above 32 on success, an error code otherwise.
  const INT_PTR code = reinterpret_cast<INT_PTR>(result);
  if (code <= 32) {
    std::fprintf(stderr, "tervane-studio: no browser opened (ShellExecute error %d); open %s by hand\n",
                 static_cast<int>(code), url.c_str());
    std::fflush(stderr);
  }
}
