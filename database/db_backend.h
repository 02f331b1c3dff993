// The seam between the database classes and the data access technology beneath them.
// It offers exactly what the classes ask of ADO: a connection, a recordset and a command,
// with ADO's constants and ADO's failure shape. Two backends implement it, one over ADO
// through COM (Windows) and one over ODBC; CMake links one of them.
//
// Every operation returns true on success. On failure it fills a DbFailure, the parts of
// the COM error report the classes write, and returns false; nothing is thrown.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "database/db_variant.h"

namespace dbl {

// ADO constants the classes use.
enum : int {
  adUseClient = 3,
  adOpenStatic = 3,
  adLockReadOnly = 1,
  adCmdText = 1,
  adCmdStoredProc = 4,
  adExecuteNoRecords = 0x80,
  adConnectUnspecified = -1,
  adParamInput = 1,
  adParamOutput = 2,
  adParamInputOutput = 3,
  adParamReturnValue = 4,
};

// ADO data types (DataTypeEnum).
enum AdoType : int {
  adEmpty = 0,
  adSmallInt = 2,
  adInteger = 3,
  adSingle = 4,
  adDouble = 5,
  adDate = 7,
  adBSTR = 8,
  adError = 10,
  adBoolean = 11,
  adDecimal = 14,
  adTinyInt = 16,
  adUnsignedTinyInt = 17,
  adUnsignedSmallInt = 18,
  adUnsignedInt = 19,
  adBigInt = 20,
  adUnsignedBigInt = 21,
  adNumeric = 131,
  adDBDate = 133,
  adDBTime = 134,
  adDBTimeStamp = 135,
  adChar = 129,
  adVarChar = 200,
  adLongVarChar = 201,
  adWChar = 130,
  adVarWChar = 202,
  adLongVarWChar = 203,
  adBinary = 128,
  adVarBinary = 204,
  adLongVarBinary = 205,
};

// ADO's own error codes, used by a backend for failures that no provider reports.
enum : unsigned long {
  kErrInvalidArgument = 0x800A0BB9UL,   // adErrInvalidArgument
  kErrNoCurrentRecord = 0x800A0BCDUL,   // adErrNoCurrentRecord
  kErrItemNotFound = 0x800A0CC1UL,      // adErrItemNotFound
  kErrObjectClosed = 0x800A0E78UL,      // adErrObjectClosed
  kErrObjectOpen = 0x800A0E79UL,        // adErrObjectOpen
  kErrProviderNotFound = 0x800A0E7AUL,  // adErrProviderNotFound
  kErrInvalidConnection = 0x800A0E7DUL, // adErrInvalidConnection
  kErrPointer = 0x80004003UL,           // E_POINTER
  kErrFail = 0x80004005UL,              // E_FAIL
};

// One failure: the HRESULT (or, over ODBC, the driver's native code), the text for that
// code (over ODBC, the SQLSTATE), the component that raised it and its description.
struct DbFailure {
  unsigned long code = 0;
  char meaning[256] = "";
  char source[256] = "";
  char description[1024] = "";

  void Set(unsigned long code, const char* meaning, const char* source, const char* description);
  void Clear() { Set(0, "", "", ""); }
};

// The text ADO gives for one of the codes above (empty for others).
const char* AdoErrorText(unsigned long code);
// Fills a failure with one of ADO's own errors, raised by `source` ("ADODB.Recordset").
void SetAdoFailure(DbFailure& failure, unsigned long code, const char* source);

class Connection {
 public:
  virtual ~Connection() = default;
  virtual bool SetCursorLocation(int location, DbFailure& failure) = 0;
  virtual bool Open(const char* connectionString, const char* user, const char* password, long options,
                    DbFailure& failure) = 0;
  virtual bool Close(DbFailure& failure) = 0;
  // The provider's errors of the latest operation that reached the provider, in order.
  virtual bool ErrorCount(long& count, DbFailure& failure) = 0;
  virtual bool ErrorAt(long index, long& number, std::string& description, DbFailure& failure) = 0;
};

class Recordset {
 public:
  virtual ~Recordset() = default;
  virtual bool SetCursorLocation(int location, DbFailure& failure) = 0;
  virtual bool Open(const char* source, const std::shared_ptr<Connection>& connection, int cursorType,
                    int lockType, long options, DbFailure& failure) = 0;
  virtual bool RecordCount(long& count, DbFailure& failure) = 0;
  virtual bool FieldValue(const char* name, DbVariant& value, DbFailure& failure) = 0;
  virtual bool MoveNext(DbFailure& failure) = 0;
  virtual bool IsEOF(bool& eof, DbFailure& failure) = 0;
  virtual bool Close(DbFailure& failure) = 0;
};

class Command {
 public:
  virtual ~Command() = default;
  virtual bool SetActiveConnection(const std::shared_ptr<Connection>& connection, DbFailure& failure) = 0;
  virtual bool SetCommandType(int type, DbFailure& failure) = 0;
  virtual bool SetCommandText(const char* text, DbFailure& failure) = 0;
  virtual bool RefreshParameters(DbFailure& failure) = 0;
  // CreateParameter and Append in one; precision and scale are set when >= 0.
  virtual bool AppendParameter(const char* name, int type, int direction, long size, const DbVariant& value,
                               int precision, int scale, DbFailure& failure) = 0;
  virtual bool SetParameterValue(const char* name, const DbVariant& value, DbFailure& failure) = 0;
  virtual bool GetParameterValue(const char* name, DbVariant& value, DbFailure& failure) = 0;
  virtual bool Execute(long options, DbFailure& failure) = 0;
};

// Object creation (CoCreateInstance of the ADO classes in the COM backend). Null and a
// filled failure when the object cannot be created.
std::shared_ptr<Connection> NewConnection(DbFailure& failure);
std::unique_ptr<Recordset> NewRecordset(DbFailure& failure);
std::unique_ptr<Command> NewCommand(DbFailure& failure);

// Name of the backend linked in ("ado" or "odbc").
const char* BackendName();

}  // namespace dbl
