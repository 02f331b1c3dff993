// CAdoCommand: calls a stored procedure with parameters over a database's connection.
#pragma once

#include <memory>

#include "database/ado_database.h"
#include "database/db_backend.h"

class CAdoCommand {
 public:
  CAdoCommand();
  virtual ~CAdoCommand();
  CAdoCommand(const CAdoCommand&) = delete;
  CAdoCommand& operator=(const CAdoCommand&) = delete;

  void SetDatabase(CAdoDatabase* database);
  bool SetCommantText(const char* procedure);
  bool AddParameter(const char* name, const dbl::DbVariant& value);
  bool SetParameter(const char* name, const dbl::DbVariant& value);
  bool GetParameter(const char* name, dbl::DbVariant& value);
  bool Execute();

  CAdoDatabase* db;
  std::unique_ptr<dbl::Command> command;
  char providerErrorText[1000];
  char comErrorText[1000];

 private:
  bool Fail(const char* where, const dbl::DbFailure& failure);
};

namespace dbl {

// The ADO type, size, precision and scale of an input parameter made from a value
// (precision and scale -1: not set). False for a value type that has no parameter type.
struct ParameterShape {
  int type = adEmpty;
  long size = 0;
  int precision = -1;
  int scale = -1;
};
bool ParameterShapeFor(const DbVariant& value, ParameterShape& shape);

}  // namespace dbl
