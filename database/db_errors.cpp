#include "database/db_errors.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace dbl {

namespace {

// Appends to a zero-terminated text in a fixed array, cutting what does not fit.
void AppendFormat(char* out, std::size_t size, const char* format, ...) {
  std::size_t used = std::strlen(out);
  if (used + 1 >= size) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(out + used, size - used, format, args);
  va_end(args);
}

}  // namespace

void CopyText(char* out, std::size_t size, const char* text) {
  if (size == 0) return;
  std::snprintf(out, size, "%s", text ? text : "");
}

void DbFailure::Set(unsigned long c, const char* m, const char* s, const char* d) {
  code = c;
  CopyText(meaning, sizeof meaning, m);
  CopyText(source, sizeof source, s);
  CopyText(description, sizeof description, d);
}

const char* AdoErrorText(unsigned long code) {
  switch (code) {
    case kErrInvalidArgument:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.";
    case kErrNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
             "current record.";
    case kErrItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or ordinal.";
    case kErrObjectClosed:
      return "Operation is not allowed when the object is closed.";
    case kErrObjectOpen:
      return "Operation is not allowed when the object is open.";
    case kErrProviderNotFound:
      return "Provider cannot be found. It may not be properly installed.";
    case kErrInvalidConnection:
      return "The connection cannot be used to perform this operation. It is either closed or invalid in this "
             "context.";
    case kErrPointer:
      return "Invalid pointer";
    case kErrFail:
      return "Unspecified error";
    default:
      return "";
  }
}

void SetAdoFailure(DbFailure& failure, unsigned long code, const char* source) {
  char meaning[64];
  std::snprintf(meaning, sizeof meaning, "Unknown error 0x%0lX", code);
  const char* text = AdoErrorText(code);
  // ADO's own errors have no system text; the system text of the generic codes is theirs.
  bool systemCode = code == kErrPointer || code == kErrFail;
  failure.Set(code, systemCode ? text : meaning, source, systemCode ? "" : text);
}

void FormatComError(const DbFailure& failure, char* out, std::size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  AppendFormat(out, size, "Error\n");
  AppendFormat(out, size, "\tCode = %08lx\n", failure.code);
  AppendFormat(out, size, "\tCode meaning = %s\n", failure.meaning);
  AppendFormat(out, size, "\tSource = %s\n", failure.source);
  AppendFormat(out, size, "\tDescription = %s\n", failure.description);
}

void FormatProviderErrors(Connection& connection, char* out, std::size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  DbFailure ignored;
  long count = 0;
  if (!connection.ErrorCount(count, ignored)) return;
  for (long i = 0; i < count; ++i) {
    long number = 0;
    std::string description;
    if (!connection.ErrorAt(i, number, description, ignored)) break;
    std::snprintf(out, size, "\t Error number: %lx\t%s", static_cast<unsigned long>(number), description.c_str());
  }
}

}  // namespace dbl
