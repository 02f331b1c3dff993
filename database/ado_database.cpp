#include "database/ado_database.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "database/db_errors.h"
#include "platform/local_time.h"

namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(&out[0], out.size() + 1, format, again);
  va_end(again);
  return out;
}

// Replaces every occurrence of `secret` in a zero-terminated text with "***".
void Mask(char* text, std::size_t size, const std::string& secret) {
  if (secret.empty()) return;
  std::string s(text);
  bool changed = false;
  for (std::size_t at = s.find(secret); at != std::string::npos; at = s.find(secret, at + 3)) {
    s.replace(at, secret.size(), "***");
    changed = true;
  }
  if (changed) dbl::CopyText(text, size, s.c_str());
}

}  // namespace

CAdoDatabase::CAdoDatabase()
    : logEnabled(false),
      logPath(),
      isOpen(false),
      database(),
      password(),
      userId(),
      server(),
      comErrorText(),
      providerErrorText() {}

// The connection goes with the object. COM stays as the user set it up: the class never
// initialised COM, so it does not uninitialise it either (doing so would leave COM
// unusable on the thread for the next database object).
CAdoDatabase::~CAdoDatabase() = default;

void CAdoDatabase::SetLogFile(const char* path) {
  logEnabled = true;
  // A path that does not fit would name another file; such a log cannot be opened.
  if (std::strlen(OrEmpty(path)) >= sizeof logPath)
    logPath[0] = '\0';
  else
    dbl::CopyText(logPath, sizeof logPath, OrEmpty(path));
}

bool CAdoDatabase::Open(const char* text) {
  isOpen = false;
  dbl::DbFailure failure;
  connection = dbl::NewConnection(failure);
  if (!connection) {
    dbl::CopyText(comErrorText, sizeof comErrorText, "Nu pot crea instanta de conectie");
    providerErrorText[0] = '\0';
    LogComError("CAdoDatabase::Open", comErrorText, providerErrorText);
    return false;
  }
  if (!connection->SetCursorLocation(dbl::adUseClient, failure)) return Fail("CAdoDatabase::Open", failure);
  connectionString = OrEmpty(text);
  if (!connection->Open(connectionString.c_str(), "", "", dbl::adConnectUnspecified, failure))
    return Fail("CAdoDatabase::Open", failure);
  isOpen = true;
  return true;
}

bool CAdoDatabase::OpenSqlServer(const char* serverName, const char* user, const char* pwd, const char* name) {
  dbl::CopyText(server, sizeof server, OrEmpty(serverName));
  dbl::CopyText(userId, sizeof userId, OrEmpty(user));
  dbl::CopyText(password, sizeof password, OrEmpty(pwd));
  dbl::CopyText(database, sizeof database, OrEmpty(name));
  std::string text = Format("PROVIDER=SQLOLEDB.1;server=%s;uid=%s;pwd=%s;database=%s", OrEmpty(serverName),
                            OrEmpty(user), OrEmpty(pwd), OrEmpty(name));
  return Open(text.c_str());
}

bool CAdoDatabase::OpenJet(const char* path, const char* pwd) {
  dbl::CopyText(database, sizeof database, OrEmpty(path));
  dbl::CopyText(password, sizeof password, OrEmpty(pwd));
  std::string text = Format(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%s ;Mode=ReadWrite;Persist Security Info=False;"
      "Jet OLEDB:Database Password=%s ;",
      OrEmpty(path), OrEmpty(pwd));
  return Open(text.c_str());
}

bool CAdoDatabase::Close() {
  if (!isOpen) return true;
  dbl::DbFailure failure;
  if (!connection->Close(failure)) return Fail("CAdoDatabase::Close", failure);
  isOpen = false;
  return true;
}

bool CAdoDatabase::Execute(const char* sql) {
  dbl::DbFailure failure;
  std::unique_ptr<dbl::Command> command = dbl::NewCommand(failure);
  bool ok = command && command->SetActiveConnection(connection, failure) &&
            command->SetCommandText(OrEmpty(sql), failure) &&
            command->Execute(dbl::adCmdText | dbl::adExecuteNoRecords, failure);
  if (ok) return true;
  Fail("CAdoDatabase::Execute", failure);
  Log(OrEmpty(sql));
  return false;
}

bool CAdoDatabase::Fail(const char* where, const dbl::DbFailure& failure) {
  dbl::FormatComError(failure, comErrorText, sizeof comErrorText);
  providerErrorText[0] = '\0';
  if (connection) dbl::FormatProviderErrors(*connection, providerErrorText, sizeof providerErrorText);
  // Driver texts that quote the connection string or the password do not reach the log.
  for (char* text : {comErrorText, providerErrorText}) {
    std::size_t size = text == comErrorText ? sizeof comErrorText : sizeof providerErrorText;
    Mask(text, size, connectionString);
    if (std::strlen(password) >= 4) Mask(text, size, password);
  }
  LogComError(where, comErrorText, providerErrorText);
  return false;
}

void CAdoDatabase::Log(const char* text) {
  if (!logEnabled) return;
  platform::LocalTime t = platform::CurrentLocalTime();
  std::FILE* file = std::fopen(logPath, "at");
  if (!file) return;
  std::fprintf(file, "\n[%d.%d.%d %d.%d.%d]->", t.year, t.month, t.day, t.hour, t.minute, t.second);
  std::fputs(OrEmpty(text), file);
  std::fclose(file);
}

void CAdoDatabase::LogComError(const char* where, const char* comError, const char* providerError) {
  if (!logEnabled) return;
  Log(Format("%s\nComError: %s\nProviderError: %s", OrEmpty(where), OrEmpty(comError), OrEmpty(providerError))
          .c_str());
}

namespace dbl {

void ReportObjectFailure(CAdoDatabase* db, const char* where, const DbFailure& failure, char* comErrorText,
                         std::size_t comSize, char* providerErrorText, std::size_t providerSize) {
  FormatComError(failure, comErrorText, comSize);
  providerErrorText[0] = '\0';
  if (!db)
    CopyText(providerErrorText, providerSize, "Error: database object is NULL");
  else if (!db->connection)
    CopyText(providerErrorText, providerSize, "Error:pConnection is NULL");
  else
    FormatProviderErrors(*db->connection, providerErrorText, providerSize);
  if (db) db->LogComError(where, comErrorText, providerErrorText);
}

}  // namespace dbl
