// CAdoRecordset: runs a query over a database's connection and reads it row by row.
#pragma once

#include <memory>

#include "database/ado_database.h"
#include "database/db_backend.h"

class CAdoRecordset {
 public:
  CAdoRecordset();
  virtual ~CAdoRecordset();
  CAdoRecordset(const CAdoRecordset&) = delete;
  CAdoRecordset& operator=(const CAdoRecordset&) = delete;

  bool Open(const char* sql, CAdoDatabase* database);
  bool GetFieldValue(const char* name, dbl::DbVariant& value);
  dbl::DbVariant GetFieldValue(const char* name);  // empty when reading failed
  bool MoveNext();
  bool IsEOF();
  bool Close();

  int recordCount;
  std::unique_ptr<dbl::Recordset> recordset;
  CAdoDatabase* db;
  char comErrorText[1000];
  char providerErrorText[1000];

 private:
  bool Fail(const char* where, const dbl::DbFailure& failure);
};
