// Raw printer output through CUPS: one job per label job, holding one document
// "My Document" in the raw format, so the label printer receives the job's bytes
// unchanged. The steps keep the names of the spooler conversation they stand for:
//   OpenPrinter      the queue is unknown (or the scheduler cannot be reached)
//   StartDocPrinter  the job or its document cannot be created
//   WritePrinter     sending the bytes fails
//   EndDocPrinter    finishing the document fails
// Error lines carry CUPS's own status number and text. A job that fails after it was
// created is cancelled, so that no half-sent job is left waiting in the queue.
#include <cups/cups.h>

#include <cstdio>
#include <cstring>

#include "platform/ascii_text.h"
#include "service/ipp_status.h"
#include "service/print_raw.h"
#include "service/service_log.h"

namespace {

const char kDocumentName[] = "My Document";

// Asks the scheduler for the queue, as opening a printer does: false, with CUPS's
// last error set, when there is no such queue or no scheduler to ask.
bool QueueExists(const char* printerName) {
  char uri[HTTP_MAX_URI];
  if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost",
                       ippPort(), "/printers/%s", printerName) != HTTP_URI_STATUS_OK) {
    return false;
  }
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-name");
  ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
  return IppStatusIsSuccess(cupsLastError());
}

// One CUPS job. A job that has been created and not finished is cancelled when the
// object goes (its open document finished first), so that no half-sent job is left
// waiting in the queue; the clean-up's results are ignored.
class CupsJob {
 public:
  explicit CupsJob(const char* printerName) : printer_(printerName) {}
  CupsJob(const CupsJob&) = delete;
  CupsJob& operator=(const CupsJob&) = delete;
  ~CupsJob() {
    if (documentOpen_) cupsFinishDocument(CUPS_HTTP_DEFAULT, printer_);
    if (id_ != 0 && !finished_) cupsCancelJob2(CUPS_HTTP_DEFAULT, printer_, id_, 0);
  }

  bool Create() {
    id_ = cupsCreateJob(CUPS_HTTP_DEFAULT, printer_, kDocumentName, 0, nullptr);
    return id_ != 0;
  }
  bool StartDocument() {
    documentOpen_ = cupsStartDocument(CUPS_HTTP_DEFAULT, printer_, id_, kDocumentName,
                                      CUPS_FORMAT_RAW, 1) == HTTP_STATUS_CONTINUE;
    return documentOpen_;
  }
  bool Write(const char* data, int length) {
    return length <= 0 || cupsWriteRequestData(CUPS_HTTP_DEFAULT, data,
                                               static_cast<std::size_t>(length)) ==
                              HTTP_STATUS_CONTINUE;
  }
  // A warning status (an attribute ignored or substituted, say) still means printed.
  bool Finish() {
    documentOpen_ = false;
    finished_ = IppStatusIsSuccess(cupsFinishDocument(CUPS_HTTP_DEFAULT, printer_));
    return finished_;
  }

 private:
  const char* printer_;
  int id_ = 0;
  bool documentOpen_ = false;
  bool finished_ = false;
};

}  // namespace

int PrintRaw(ServiceLog& log, const char* printerName, const char* data, int length) {
  if (!QueueExists(printerName)) {
    ipp_status_t status = cupsLastError();
    LogSpoolerError(log, IppStatusIsSuccess(status) ? IPP_STATUS_ERROR_NOT_FOUND : status,
                    "OpenPrinter");
    return 0;
  }
  // The step's line is written before the job unwinds.
  auto failed = [&log](const char* step) {
    LogSpoolerError(log, cupsLastError(), step);
    return 0;
  };
  CupsJob job(printerName);
  if (!job.Create() || !job.StartDocument()) return failed("StartDocPrinter");
  if (!job.Write(data, length)) return failed("WritePrinter");
  if (!job.Finish()) return failed("EndDocPrinter");
  return 1;
}

// CUPS's text for its last error, wrapped at 40 columns as the spooler's texts are.
void LogSpoolerError(ServiceLog& log, unsigned long code, const char* step) {
  const char* text = nullptr;
  if (static_cast<unsigned long>(cupsLastError()) == code) text = cupsLastErrorString();
  if (!text || !*text) text = ippErrorString(static_cast<ipp_status_t>(code));
  char wrapped[512];
  ascii::WrapWords(text ? text : "", 40, wrapped, sizeof wrapped);
  char line[700];
  std::snprintf(line, sizeof line, "%s Error [%d]:: %s\n", step, static_cast<int>(code), wrapped);
  log.Write(line);
}
