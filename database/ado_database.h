// CAdoDatabase: one database connection and the diagnostic log of the database layer.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "database/db_backend.h"

class CAdoDatabase {
 public:
  CAdoDatabase();
  virtual ~CAdoDatabase();
  CAdoDatabase(const CAdoDatabase&) = delete;
  CAdoDatabase& operator=(const CAdoDatabase&) = delete;

  void SetLogFile(const char* path);
  bool Open(const char* connectionString);
  bool OpenSqlServer(const char* server, const char* user, const char* password, const char* database);
  bool OpenJet(const char* path, const char* password);
  bool Close();
  bool Execute(const char* sql);
  void Log(const char* text);
  void LogComError(const char* where, const char* comError, const char* providerError);

  bool logEnabled;
  char logPath[1024];
  bool isOpen;
  char database[100];
  char password[50];
  char userId[50];
  char server[100];
  char comErrorText[1000];
  char providerErrorText[1000];
  std::shared_ptr<dbl::Connection> connection;
  std::string connectionString;

 private:
  bool Fail(const char* where, const dbl::DbFailure& failure);
};

namespace dbl {

// The failure rules of a recordset or command operation: the COM error report into
// comErrorText; the provider text from the database's connection (or the reason there is
// none); both logged to the database's log under `where` when a database is known.
void ReportObjectFailure(CAdoDatabase* database, const char* where, const DbFailure& failure,
                         char* comErrorText, std::size_t comSize, char* providerErrorText,
                         std::size_t providerSize);

}  // namespace dbl
