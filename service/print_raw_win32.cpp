// Raw printer output through the Windows print spooler: one RAW document "My Document"
// per job, so the label printer receives the job's bytes unchanged.
#include <windows.h>
#include <winspool.h>

#include <cstdio>

#include "service/job_server.h"

int CJobServer::PrintRaw(const char* printerName, const char* data, int length) {
  HANDLE printer = nullptr;
  if (!OpenPrinterA(const_cast<char*>(printerName), &printer, nullptr)) {
    LogSpoolerError(GetLastError(), "OpenPrinter");
    return 0;
  }

  DOC_INFO_1A document;
  document.pDocName = const_cast<char*>("My Document");
  document.pOutputFile = nullptr;
  document.pDatatype = const_cast<char*>("RAW");
  if (StartDocPrinterA(printer, 1, reinterpret_cast<BYTE*>(&document)) == 0) {
    LogSpoolerError(GetLastError(), "StartDocPrinter");
    ClosePrinter(printer);
    return 0;
  }
  if (!StartPagePrinter(printer)) {
    LogSpoolerError(GetLastError(), "StartPagePrinter");
    EndDocPrinter(printer);
    ClosePrinter(printer);
    return 0;
  }
  DWORD written = 0;
  if (!WritePrinter(printer, const_cast<char*>(data), static_cast<DWORD>(length), &written)) {
    LogSpoolerError(GetLastError(), "WritePrinter");
    EndPagePrinter(printer);
    EndDocPrinter(printer);
    ClosePrinter(printer);
    return 0;
  }
  if (!EndPagePrinter(printer)) {
    LogSpoolerError(GetLastError(), "EndPagePrinter");
    EndDocPrinter(printer);
    ClosePrinter(printer);
    return 0;
  }
  if (!EndDocPrinter(printer)) {
    LogSpoolerError(GetLastError(), "EndDocPrinter");
    ClosePrinter(printer);
    return 0;
  }
  ClosePrinter(printer);

  if (written != static_cast<DWORD>(length)) {
    std::printf("Wrote %d bytes instead of requested %d bytes.\n", static_cast<int>(written),
                length);
    return 0;
  }
  return 1;
}

// The system's text for the code, wrapped by the system at 40 columns.
void CJobServer::LogSpoolerError(unsigned long code, const char* step) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | 40,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<char*>(&text), 512, nullptr);
  char line[1024];
  // A code the system has no text for still gets its line, with a plain placeholder.
  std::snprintf(line, sizeof line, "%s Error [%d]:: %s\n", step, static_cast<int>(code),
                (n > 0 && text) ? text : "(no system text)");
  Log(line);
  if (text) LocalFree(text);
}
