// Raw printer output through the Windows print spooler: one RAW document "My Document"
// per job, so the label printer receives the job's bytes unchanged.
#include <windows.h>
#include <winspool.h>

#include <cstdio>

#include "service/print_raw.h"
#include "service/service_log.h"

namespace {

// The spooler conversation of one job. Each step that has begun and not been ended is
// undone when the object goes, in reverse order: end the page, end the document,
// close the printer. Ending a page or document counts as done whether or not it
// succeeds; the clean-up's results are ignored.
class SpoolerJob {
 public:
  SpoolerJob() = default;
  SpoolerJob(const SpoolerJob&) = delete;
  SpoolerJob& operator=(const SpoolerJob&) = delete;
  ~SpoolerJob() {
    if (pageStarted_) EndPagePrinter(printer_);
    if (documentStarted_) EndDocPrinter(printer_);
    Close();
  }

  bool Open(const char* printerName) {
    HANDLE opened = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printerName), &opened, nullptr)) return false;
    printer_ = opened;  // a failed open leaves nothing to close
    return true;
  }
  bool StartDocument() {
    DOC_INFO_1A document;
    document.pDocName = const_cast<char*>("My Document");
    document.pOutputFile = nullptr;
    document.pDatatype = const_cast<char*>("RAW");
    documentStarted_ = StartDocPrinterA(printer_, 1, reinterpret_cast<BYTE*>(&document)) != 0;
    return documentStarted_;
  }
  bool StartPage() {
    pageStarted_ = StartPagePrinter(printer_) != 0;
    return pageStarted_;
  }
  bool Write(const char* data, int length, DWORD* written) {
    return WritePrinter(printer_, const_cast<char*>(data), static_cast<DWORD>(length),
                        written) != 0;
  }
  bool EndPage() {
    pageStarted_ = false;
    return EndPagePrinter(printer_) != 0;
  }
  bool EndDocument() {
    documentStarted_ = false;
    return EndDocPrinter(printer_) != 0;
  }
  void Close() {
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
  }

 private:
  HANDLE printer_ = nullptr;
  bool documentStarted_ = false;
  bool pageStarted_ = false;
};

}  // namespace

int PrintRaw(ServiceLog& log, const char* printerName, const char* data, int length) {
  // The error code of a failed step is the system's last error right after its call;
  // the step's line is written before the job unwinds.
  auto failed = [&log](const char* step) {
    LogSpoolerError(log, GetLastError(), step);
    return 0;
  };
  SpoolerJob job;
  if (!job.Open(printerName)) return failed("OpenPrinter");
  if (!job.StartDocument()) return failed("StartDocPrinter");
  if (!job.StartPage()) return failed("StartPagePrinter");
  DWORD written = 0;
  if (!job.Write(data, length, &written)) return failed("WritePrinter");
  if (!job.EndPage()) return failed("EndPagePrinter");
  if (!job.EndDocument()) return failed("EndDocPrinter");
  job.Close();

  if (written != static_cast<DWORD>(length)) {
    std::printf("Wrote %d bytes instead of requested %d bytes.\n", static_cast<int>(written),
                length);
    return 0;
  }
  return 1;
}

// The system's text for the code, wrapped by the system at 40 columns.
void LogSpoolerError(ServiceLog& log, unsigned long code, const char* step) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | 40,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<char*>(&text), 512, nullptr);
  char line[1024];
  // A code the system has no text for still gets its line, with a plain placeholder.
  std::snprintf(line, sizeof line, "%s Error [%d]:: %s\n", step, static_cast<int>(code),
                (n > 0 && text) ? text : "(no system text)");
  log.Write(line);
  if (text) LocalFree(text);
}
