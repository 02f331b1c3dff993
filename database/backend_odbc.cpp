// The database seam over ODBC: unixODBC on Linux, odbc32 on Windows (where Wine's odbc32
// reaches the Linux drivers). A client-side cursor reads the whole result at Open, as
// ADO's client cursor engine does, so the record count is always the real count.
#ifdef _WIN32
#include <windows.h>  // the ODBC headers need the Windows types
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "database/db_backend.h"
#include "database/db_errors.h"
#include "database/odbc_connection_string.h"
#include "platform/ascii_text.h"

namespace dbl {

namespace {

// ADO's defaults: ConnectionTimeout 15 s, CommandTimeout 30 s.
constexpr SQLULEN kLoginTimeoutSeconds = 15;
constexpr SQLULEN kQueryTimeoutSeconds = 30;
constexpr long kMaxOutputBytes = 1 << 20;

SQLCHAR* Sql(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

using ascii::SameText;

struct ProviderError {
  long number;
  std::string description;
};

class OdbcConnection : public Connection {
 public:
  ~OdbcConnection() override {
    if (open) SQLDisconnect(dbc);
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  bool SetCursorLocation(int location, DbFailure&) override {
    cursorLocation = location;
    return true;
  }

  bool Open(const char* text, const char* user, const char* password, long, DbFailure& failure) override;

  bool Close(DbFailure& failure) override {
    if (!open) {
      SetAdoFailure(failure, kErrObjectClosed, "ADODB.Connection");
      return false;
    }
    errors.clear();
    SQLRETURN r = SQLDisconnect(dbc);
    if (!SQL_SUCCEEDED(r)) return Diagnose(SQL_HANDLE_DBC, dbc, failure);
    open = false;
    return true;
  }

  bool ErrorCount(long& count, DbFailure&) override {
    count = static_cast<long>(errors.size());
    return true;
  }

  bool ErrorAt(long index, long& number, std::string& description, DbFailure& failure) override {
    if (index < 0 || index >= static_cast<long>(errors.size())) {
      SetAdoFailure(failure, kErrItemNotFound, "ADODB.Errors");
      return false;
    }
    number = errors[static_cast<std::size_t>(index)].number;
    description = errors[static_cast<std::size_t>(index)].description;
    return true;
  }

  // Reads the diagnostic records of a handle into the error list and the failure (its
  // first record); returns false for the caller to pass on.
  bool Diagnose(SQLSMALLINT type, SQLHANDLE handle, DbFailure& failure) {
    bool first = true;
    for (SQLSMALLINT i = 1; i <= 50; ++i) {
      SQLCHAR state[6] = "";
      SQLINTEGER native = 0;
      std::vector<SQLCHAR> message(1024);
      SQLSMALLINT length = 0;
      SQLRETURN r = SQLGetDiagRec(type, handle, i, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
      if (!SQL_SUCCEEDED(r)) break;
      if (length >= static_cast<SQLSMALLINT>(message.size())) {  // a long message: read it whole
        message.assign(static_cast<std::size_t>(length) + 1, 0);
        SQLGetDiagRec(type, handle, i, state, &native, message.data(), static_cast<SQLSMALLINT>(message.size()),
                      &length);
      }
      std::string text(reinterpret_cast<char*>(message.data()));
      errors.push_back(ProviderError{static_cast<long>(native), text});
      if (first) {
        char meaning[32];
        std::snprintf(meaning, sizeof meaning, "SQLSTATE %s", reinterpret_cast<char*>(state));
        failure.Set(static_cast<unsigned long>(native), meaning, "ODBC", text.c_str());
        first = false;
      }
    }
    if (first)
      failure.Set(kErrFail, AdoErrorText(kErrFail), "ODBC", "The ODBC driver failed without a diagnostic record.");
    return false;
  }

  bool Usable(const char* source, DbFailure& failure) {
    if (open) return true;
    SetAdoFailure(failure, kErrInvalidConnection, source);
    return false;
  }

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool open = false;
  int cursorLocation = 2;  // adUseServer, ADO's default
  std::vector<ProviderError> errors;
};

std::vector<std::string> InstalledDrivers(SQLHENV env) {
  std::vector<std::string> names;
  SQLCHAR name[256], attributes[1024];
  SQLSMALLINT nameLength = 0, attributesLength = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes, sizeof attributes,
                                  &attributesLength))) {
    names.emplace_back(reinterpret_cast<char*>(name));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

bool OdbcConnection::Open(const char* text, const char* user, const char* password, long, DbFailure& failure) {
  if (open) {
    SetAdoFailure(failure, kErrObjectOpen, "ADODB.Connection");
    return false;
  }
  errors.clear();
  std::string odbc, problem;
  if (!TranslateConnectionString(text ? text : "", InstalledDrivers(env), odbc, problem)) {
    // A string that cannot be read apart fails as E_FAIL, a missing provider as ADO's own error.
    unsigned long code = problem == kConnectionStringFormatProblem ? kErrFail : kErrProviderNotFound;
    char meaning[64];
    std::snprintf(meaning, sizeof meaning, "Unknown error 0x%0lX", code);
    failure.Set(code, code == kErrFail ? AdoErrorText(kErrFail) : meaning, "ADODB.Connection", problem.c_str());
    return false;
  }
  if (user && *user) odbc += std::string(";UID=") + user;
  if (password && *password) odbc += std::string(";PWD=") + password;
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
  SQLRETURN r = SQLDriverConnect(dbc, nullptr, Sql(odbc.c_str()), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(r)) return Diagnose(SQL_HANDLE_DBC, dbc, failure);
  open = true;
  return true;
}

// A statement handle that frees itself.
class Statement {
 public:
  explicit Statement(OdbcConnection& c) : connection(c) {}
  ~Statement() {
    if (handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle);
  }
  bool Allocate(DbFailure& failure) {
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection.dbc, &handle))) {
      // A driver without query timeouts answers with a warning; the statement runs anyway.
      SQLSetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
      return true;
    }
    handle = SQL_NULL_HSTMT;
    return connection.Diagnose(SQL_HANDLE_DBC, connection.dbc, failure);
  }
  bool Check(SQLRETURN r, DbFailure& failure) {
    return SQL_SUCCEEDED(r) || r == SQL_NO_DATA || connection.Diagnose(SQL_HANDLE_STMT, handle, failure);
  }

  OdbcConnection& connection;
  SQLHSTMT handle = SQL_NULL_HSTMT;
};

// ADO type of a column or parameter of an SQL type.
int AdoTypeForSql(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_BIT: return adBoolean;
    case SQL_TINYINT: return adUnsignedTinyInt;
    case SQL_SMALLINT: return adSmallInt;
    case SQL_INTEGER: return adInteger;
    case SQL_BIGINT: return adBigInt;
    case SQL_REAL: return adSingle;
    case SQL_FLOAT: case SQL_DOUBLE: return adDouble;
    case SQL_NUMERIC: return adNumeric;
    case SQL_DECIMAL: return adDecimal;
    case SQL_TYPE_DATE: case SQL_DATE: return adDBDate;
    case SQL_TYPE_TIME: case SQL_TIME: return adDBTime;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return adDBTimeStamp;
    case SQL_CHAR: return adChar;
    case SQL_LONGVARCHAR: return adLongVarChar;
    case SQL_WCHAR: return adWChar;
    case SQL_WVARCHAR: return adVarWChar;
    case SQL_WLONGVARCHAR: return adLongVarWChar;
    case SQL_BINARY: return adBinary;
    case SQL_VARBINARY: return adVarBinary;
    case SQL_LONGVARBINARY: return adLongVarBinary;
    default: return adVarChar;
  }
}

SQLSMALLINT SqlTypeForAdo(int adoType) {
  switch (adoType) {
    case adBoolean: return SQL_BIT;
    case adTinyInt: case adUnsignedTinyInt: return SQL_TINYINT;
    case adSmallInt: case adUnsignedSmallInt: return SQL_SMALLINT;
    case adInteger: return SQL_INTEGER;
    case adUnsignedInt: case adBigInt: case adUnsignedBigInt: return SQL_BIGINT;  // unsigned 32 bits need 64
    case adSingle: return SQL_REAL;
    case adDouble: return SQL_DOUBLE;
    case adNumeric: return SQL_NUMERIC;
    case adDecimal: return SQL_DECIMAL;
    case adDBDate: return SQL_TYPE_DATE;
    case adDBTime: return SQL_TYPE_TIME;
    case adDate: case adDBTimeStamp: return SQL_TYPE_TIMESTAMP;
    case adChar: return SQL_CHAR;
    case adLongVarChar: return SQL_LONGVARCHAR;
    case adWChar: return SQL_WCHAR;
    case adBSTR: case adVarWChar: return SQL_WVARCHAR;
    case adLongVarWChar: return SQL_WLONGVARCHAR;
    case adBinary: return SQL_BINARY;
    case adVarBinary: return SQL_VARBINARY;
    case adLongVarBinary: return SQL_LONGVARBINARY;
    default: return SQL_VARCHAR;
  }
}

// The ADO type of a column or parameter from its SQL type and the data source's name for
// its type. psqlODBC reports PostgreSQL's booleans as character data (its BoolsAsChar
// setting, on by default), with "bool" as the type name.
int AdoTypeFor(SQLSMALLINT sqlType, const std::string& typeName) {
  bool character = sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR ||
                   sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR;
  if (character && SameText(typeName, "bool")) return adBoolean;
  return AdoTypeForSql(sqlType);
}

bool IsBinary(int adoType) { return adoType == adBinary || adoType == adVarBinary || adoType == adLongVarBinary; }

// The value of a driver's text for a column or parameter of an ADO type. Text that does
// not read as that type stays text.
DbVariant ValueFromText(int adoType, const std::string& text) {
  const char* s = text.c_str();
  char* end = nullptr;
  switch (adoType) {
    case adTinyInt: case adUnsignedTinyInt: case adSmallInt: case adUnsignedSmallInt:
    case adInteger: case adUnsignedInt: case adBigInt: case adUnsignedBigInt: {
      long long v = std::strtoll(s, &end, 10);
      if (end == s || *end != '\0') break;
      VarType vt = adoType == adTinyInt ? VT_I1 : adoType == adUnsignedTinyInt ? VT_UI1
                 : adoType == adSmallInt ? VT_I2 : adoType == adUnsignedSmallInt ? VT_UI2
                 : adoType == adInteger ? VT_I4 : adoType == adUnsignedInt ? VT_UI4
                 : adoType == adUnsignedBigInt ? VT_UI8 : VT_I8;
      return DbVariant::Int(v, vt);
    }
    case adSingle: case adDouble: {
      double v = std::strtod(s, &end);
      if (end == s || *end != '\0') break;
      return DbVariant::Real(v, adoType == adSingle ? VT_R4 : VT_R8);
    }
    case adNumeric: case adDecimal: {
      DbDecimal d;
      if (DecimalFromText(s, d)) return DbVariant::Decimal(d);
      double v = std::strtod(s, &end);
      if (end != s && *end == '\0') return DbVariant::Real(v);
      break;
    }
    case adBoolean:
      if (text == "1" || SameText(text, "t") || SameText(text, "true")) return DbVariant::Bool(true);
      if (text == "0" || SameText(text, "f") || SameText(text, "false")) return DbVariant::Bool(false);
      break;
    case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: {
      double v = 0;
      if (DateFromText(s, v)) return DbVariant::Date(v);
      break;
    }
    default:
      if (IsBinary(adoType)) return DbVariant::Bytes(text);
      break;
  }
  return DbVariant::Text(text);
}

// Reads one column of the current row, in pieces when it is long.
bool ReadColumn(Statement& st, SQLUSMALLINT column, int adoType, DbVariant& value, DbFailure& failure) {
  SQLSMALLINT cType = IsBinary(adoType) ? SQL_C_BINARY : SQL_C_CHAR;
  const std::size_t terminator = cType == SQL_C_CHAR ? 1 : 0;
  char buffer[4096];
  std::string text;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN r = SQLGetData(st.handle, column, cType, buffer, sizeof buffer, &indicator);
    if (r == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(r)) return st.connection.Diagnose(SQL_HANDLE_STMT, st.handle, failure);
    if (indicator == SQL_NULL_DATA) {
      value = DbVariant::Null();
      return true;
    }
    std::size_t room = sizeof buffer - terminator;
    std::size_t piece = (indicator == SQL_NO_TOTAL || indicator < 0 || static_cast<std::size_t>(indicator) > room)
                            ? room
                            : static_cast<std::size_t>(indicator);
    text.append(buffer, piece);
    if (r == SQL_SUCCESS || piece < room) break;
  }
  value = ValueFromText(adoType, text);
  return true;
}

class OdbcRecordset : public Recordset {
 public:
  bool SetCursorLocation(int location, DbFailure&) override {
    cursorLocation = location;
    return true;
  }

  bool Open(const char* source, const std::shared_ptr<Connection>& connection, int, int, long,
            DbFailure& failure) override;

  bool RecordCount(long& count, DbFailure& failure) override {
    if (!Ready(failure)) return false;
    count = static_cast<long>(rows.size());
    return true;
  }

  bool FieldValue(const char* name, DbVariant& value, DbFailure& failure) override {
    if (!Ready(failure)) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!SameText(names[i], name)) continue;
      if (position >= rows.size()) {
        SetAdoFailure(failure, kErrNoCurrentRecord, "ADODB.Field");
        return false;
      }
      value = rows[position][i];
      return true;
    }
    SetAdoFailure(failure, kErrItemNotFound, "ADODB.Fields");
    return false;
  }

  bool MoveNext(DbFailure& failure) override {
    if (!Ready(failure)) return false;
    if (position >= rows.size()) {
      SetAdoFailure(failure, kErrNoCurrentRecord, "ADODB.Recordset");
      return false;
    }
    ++position;
    return true;
  }

  bool IsEOF(bool& eof, DbFailure& failure) override {
    if (!Ready(failure)) return false;
    eof = position >= rows.size();
    return true;
  }

  bool Close(DbFailure& failure) override {
    if (!Ready(failure)) return false;
    open = false;
    names.clear();
    rows.clear();
    position = 0;
    return true;
  }

 private:
  bool Ready(DbFailure& failure) {
    if (open) return true;
    SetAdoFailure(failure, kErrObjectClosed, "ADODB.Recordset");
    return false;
  }

  bool open = false;
  int cursorLocation = 2;
  std::vector<std::string> names;
  std::vector<std::vector<DbVariant>> rows;
  std::size_t position = 0;
};

bool OdbcRecordset::Open(const char* source, const std::shared_ptr<Connection>& active, int, int, long,
                         DbFailure& failure) {
  if (open) {
    SetAdoFailure(failure, kErrObjectOpen, "ADODB.Recordset");
    return false;
  }
  auto* connection = dynamic_cast<OdbcConnection*>(active.get());
  if (!connection || !connection->Usable("ADODB.Recordset", failure)) {
    if (!connection) SetAdoFailure(failure, kErrInvalidConnection, "ADODB.Recordset");
    return false;
  }
  connection->errors.clear();
  Statement st(*connection);
  if (!st.Allocate(failure) || !st.Check(SQLExecDirect(st.handle, Sql(source), SQL_NTS), failure)) return false;
  // The first result that has columns is the recordset; row counts before it are skipped.
  SQLSMALLINT columns = 0;
  for (;;) {
    if (!st.Check(SQLNumResultCols(st.handle, &columns), failure)) return false;
    if (columns > 0) break;
    SQLRETURN r = SQLMoreResults(st.handle);
    if (r == SQL_NO_DATA) break;
    if (!st.Check(r, failure)) return false;
  }
  if (columns <= 0) return true;  // a statement without rows leaves the recordset closed
  std::vector<std::string> newNames;
  std::vector<int> types;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
    SQLCHAR name[256] = "";
    SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!st.Check(SQLDescribeCol(st.handle, c, name, sizeof name, &nameLength, &sqlType, &size, &digits, &nullable),
                  failure))
      return false;
    newNames.emplace_back(reinterpret_cast<char*>(name));
    SQLCHAR typeName[128] = "";
    SQLSMALLINT typeNameLength = 0;
    if (!SQL_SUCCEEDED(SQLColAttribute(st.handle, c, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLength,
                                       nullptr)))
      typeName[0] = '\0';
    types.push_back(AdoTypeFor(sqlType, reinterpret_cast<char*>(typeName)));
  }
  std::vector<std::vector<DbVariant>> newRows;
  for (;;) {
    SQLRETURN r = SQLFetch(st.handle);
    if (r == SQL_NO_DATA) break;
    if (!st.Check(r, failure)) return false;
    std::vector<DbVariant> row(newNames.size());
    for (std::size_t c = 0; c < newNames.size(); ++c) {
      if (!ReadColumn(st, static_cast<SQLUSMALLINT>(c + 1), types[c], row[c], failure)) return false;
    }
    newRows.push_back(std::move(row));
  }
  names = std::move(newNames);
  rows = std::move(newRows);
  position = 0;
  open = true;
  return true;
}

struct Parameter {
  std::string name;
  int type = adVarChar;
  int direction = adParamInput;
  long size = 0;
  int precision = -1;
  int scale = -1;
  DbVariant value;
};

class OdbcCommand : public Command {
 public:
  bool SetActiveConnection(const std::shared_ptr<Connection>& c, DbFailure& failure) override {
    if (c && !dynamic_cast<OdbcConnection*>(c.get())) {
      SetAdoFailure(failure, kErrInvalidConnection, "ADODB.Command");
      return false;
    }
    connection = c;
    return true;
  }

  bool SetCommandType(int type, DbFailure&) override {
    commandType = type;
    return true;
  }

  bool SetCommandText(const char* t, DbFailure&) override {
    text = t ? t : "";
    return true;
  }

  bool RefreshParameters(DbFailure& failure) override;

  bool AppendParameter(const char* name, int type, int direction, long size, const DbVariant& value, int precision,
                       int scale, DbFailure& failure) override {
    if (type == adEmpty || size < 0) {
      SetAdoFailure(failure, kErrInvalidArgument, "ADODB.Parameters");
      return false;
    }
    Parameter p;
    p.name = name ? name : "";
    p.type = type;
    p.direction = direction;
    p.size = size;
    p.precision = precision;
    p.scale = scale;
    p.value = value;
    // Appended after whatever the refresh listed, as ADO's Parameters.Append does, even
    // when a listed parameter has the same name: all of them are passed, by position.
    parameters.push_back(p);
    return true;
  }

  bool SetParameterValue(const char* name, const DbVariant& value, DbFailure& failure) override {
    Parameter* p = Find(name ? name : "");
    if (!p) {
      SetAdoFailure(failure, kErrItemNotFound, "ADODB.Parameters");
      return false;
    }
    p->value = value;
    return true;
  }

  bool GetParameterValue(const char* name, DbVariant& value, DbFailure& failure) override {
    Parameter* p = Find(name ? name : "");
    if (!p) {
      SetAdoFailure(failure, kErrItemNotFound, "ADODB.Parameters");
      return false;
    }
    value = p->value;
    return true;
  }

  bool Execute(long options, DbFailure& failure) override;

 private:
  Parameter* Find(const std::string& name) {
    for (Parameter& p : parameters) {
      if (SameText(p.name, name)) return &p;
    }
    return nullptr;
  }

  OdbcConnection* Ready(DbFailure& failure) {
    auto* c = dynamic_cast<OdbcConnection*>(connection.get());
    if (!c) {
      SetAdoFailure(failure, kErrInvalidConnection, "ADODB.Command");
      return nullptr;
    }
    return c->Usable("ADODB.Command", failure) ? c : nullptr;
  }

  bool Run(OdbcConnection& c, const std::string& sql, const std::vector<Parameter*>& bound, bool defaults,
           DbFailure& failure, std::string* sqlState);

  std::shared_ptr<Connection> connection;
  int commandType = 8;  // adCmdUnknown
  std::string text;
  std::vector<Parameter> parameters;
};

std::string ReadText(Statement& st, SQLUSMALLINT column) {
  SQLCHAR buffer[512] = "";
  SQLLEN indicator = 0;
  if (!SQL_SUCCEEDED(SQLGetData(st.handle, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator)) ||
      indicator == SQL_NULL_DATA)
    return std::string();
  return reinterpret_cast<char*>(buffer);
}

long ReadNumber(Statement& st, SQLUSMALLINT column, long fallback) {
  std::string t = ReadText(st, column);
  return t.empty() ? fallback : std::strtol(t.c_str(), nullptr, 10);
}

bool OdbcCommand::RefreshParameters(DbFailure& failure) {
  OdbcConnection* c = Ready(failure);
  if (!c) return false;
  c->errors.clear();
  parameters.clear();
  if (commandType != adCmdStoredProc) return true;
  std::string schema, name = text;
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) {
    schema = name.substr(0, dot);
    name = name.substr(dot + 1);
  }
  // The catalog function takes search patterns: '_' and '%' in a name stand for themselves.
  SQLCHAR escape[8] = "";
  SQLSMALLINT escapeLength = 0;
  SQLGetInfo(c->dbc, SQL_SEARCH_PATTERN_ESCAPE, escape, sizeof escape, &escapeLength);
  auto pattern = [&](const std::string& s) {
    std::string out;
    for (char ch : s) {
      if (escape[0] && (ch == '_' || ch == '%')) out += reinterpret_cast<char*>(escape);
      out += ch;
    }
    return out;
  };
  std::string namePattern = pattern(name), schemaPattern = pattern(schema);
  Statement st(*c);
  if (!st.Allocate(failure) ||
      !st.Check(SQLProcedureColumns(st.handle, nullptr, 0, schema.empty() ? nullptr : Sql(schemaPattern.c_str()),
                                    schema.empty() ? 0 : SQL_NTS, Sql(namePattern.c_str()), SQL_NTS, nullptr, 0),
                failure))
    return false;
  std::string firstOwner;
  long lastOrdinal = -1;
  for (;;) {
    SQLRETURN r = SQLFetch(st.handle);
    if (r == SQL_NO_DATA) break;
    if (!st.Check(r, failure)) return false;
    // Only the first procedure of that name (another schema or an overload starts over).
    std::string owner = ReadText(st, 2) + "." + ReadText(st, 3);
    long ordinal = ReadNumber(st, 18, lastOrdinal + 1);
    if (firstOwner.empty()) firstOwner = owner;
    if (owner != firstOwner || ordinal <= lastOrdinal) break;
    lastOrdinal = ordinal;
    long kind = ReadNumber(st, 5, SQL_PARAM_INPUT);
    if (kind == SQL_RESULT_COL) continue;
    Parameter p;
    p.direction = kind == SQL_PARAM_INPUT_OUTPUT ? adParamInputOutput
                : kind == SQL_PARAM_OUTPUT       ? adParamOutput
                : kind == SQL_RETURN_VALUE       ? adParamReturnValue
                                                 : adParamInput;
    p.name = ReadText(st, 4);
    if (p.name.empty()) p.name = p.direction == adParamReturnValue ? "RETURN_VALUE" : "Param" + std::to_string(ordinal);
    p.type = AdoTypeFor(static_cast<SQLSMALLINT>(ReadNumber(st, 6, SQL_VARCHAR)), ReadText(st, 7));
    p.size = ReadNumber(st, 8, 0);
    long digits = ReadNumber(st, 10, -1);
    if (p.type == adNumeric || p.type == adDecimal) {
      p.precision = static_cast<int>(p.size);
      p.scale = static_cast<int>(digits);
    }
    parameters.push_back(p);
  }
  return true;
}

// A VARIANT date bound to a date, time or timestamp parameter goes as the ODBC structure
// of that type, with what the type holds: no time for a date, whole seconds for a time
// (the ODBC time structure has no fraction), nanoseconds for a timestamp.
bool IsDateTimeSqlType(SQLSMALLINT sqlType) {
  return sqlType == SQL_TYPE_DATE || sqlType == SQL_TYPE_TIME || sqlType == SQL_TYPE_TIMESTAMP;
}

// The fraction digits a timestamp needs: a driver declares the parameter with that many
// and cuts (or refuses) a finer fraction.
SQLSMALLINT FractionDigits(long nanosecond) {
  if (nanosecond == 0) return 0;
  SQLSMALLINT digits = 9;
  for (long n = nanosecond; n % 10 == 0; n /= 10) --digits;
  return digits;
}

// One bound parameter: its buffer, the C type of the buffer and the length or indicator.
struct Binding {
  std::vector<char> buffer;
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLLEN indicator = 0;
};

// Fills `b` with a VARIANT date as the structure of `sqlType`; returns the column size
// and sets the fraction digits.
SQLULEN BindDate(double date, SQLSMALLINT sqlType, Binding& b, SQLSMALLINT& digits) {
  DbDateTime t = DateToParts(date);
  b.buffer.assign(sizeof(SQL_TIMESTAMP_STRUCT), '\0');
  digits = 0;
  // The structure goes into the buffer with its C type and size.
  auto put = [&b](const auto& value, SQLSMALLINT cType) {
    std::memcpy(b.buffer.data(), &value, sizeof value);
    b.cType = cType;
    b.indicator = sizeof value;
  };
  const auto year = static_cast<SQLSMALLINT>(t.year);
  const auto month = static_cast<SQLUSMALLINT>(t.month), day = static_cast<SQLUSMALLINT>(t.day);
  const auto hour = static_cast<SQLUSMALLINT>(t.hour), minute = static_cast<SQLUSMALLINT>(t.minute);
  const auto second = static_cast<SQLUSMALLINT>(t.second);
  if (sqlType == SQL_TYPE_DATE) {
    put(SQL_DATE_STRUCT{year, month, day}, SQL_C_TYPE_DATE);
    return 10;
  }
  if (sqlType == SQL_TYPE_TIME) {
    put(SQL_TIME_STRUCT{hour, minute, second}, SQL_C_TYPE_TIME);
    return 8;
  }
  put(SQL_TIMESTAMP_STRUCT{year, month, day, hour, minute, second,
                           static_cast<SQLUINTEGER>(t.nanosecond)},
      SQL_C_TYPE_TIMESTAMP);
  digits = FractionDigits(t.nanosecond);
  return digits ? 20 + static_cast<SQLULEN>(digits) : 19;
}

// The VARIANT date an output value in a date structure stands for.
DbVariant DateFromBinding(const Binding& b) {
  DbDateTime t;
  if (b.cType == SQL_C_TYPE_DATE) {
    SQL_DATE_STRUCT d;
    std::memcpy(&d, b.buffer.data(), sizeof d);
    t.year = d.year, t.month = d.month, t.day = d.day;
  } else if (b.cType == SQL_C_TYPE_TIME) {
    SQL_TIME_STRUCT h;
    std::memcpy(&h, b.buffer.data(), sizeof h);
    t.hour = h.hour, t.minute = h.minute, t.second = h.second;
  } else {
    SQL_TIMESTAMP_STRUCT ts;
    std::memcpy(&ts, b.buffer.data(), sizeof ts);
    t.year = ts.year, t.month = ts.month, t.day = ts.day;
    t.hour = ts.hour, t.minute = ts.minute, t.second = ts.second;
    t.nanosecond = static_cast<long>(ts.fraction);
  }
  return DbVariant::Date(DateFromParts(t));
}

// Binds the parameters in order, runs the statement, reads every result and then the
// output values. With `defaults` (a {call} statement) an input whose value is VT_ERROR,
// "not given", asks the procedure for its default (SQL_DEFAULT_PARAM); elsewhere ODBC
// knows no default and it is null.
bool OdbcCommand::Run(OdbcConnection& c, const std::string& sql, const std::vector<Parameter*>& bound, bool defaults,
                      DbFailure& failure, std::string* sqlState) {
  Statement st(c);
  if (!st.Allocate(failure)) return false;
  std::vector<Binding> bindings(bound.size());
  for (std::size_t i = 0; i < bound.size(); ++i) {
    Parameter& p = *bound[i];
    Binding& b = bindings[i];
    SQLSMALLINT io = p.direction == adParamInput         ? SQL_PARAM_INPUT
                   : p.direction == adParamInputOutput   ? SQL_PARAM_INPUT_OUTPUT
                                                         : SQL_PARAM_OUTPUT;
    SQLSMALLINT sqlType = SqlTypeForAdo(p.type);
    SQLULEN columnSize = 0;
    SQLSMALLINT digits = 0;
    if (p.value.Type() == VT_DATE && IsDateTimeSqlType(sqlType)) {
      columnSize = BindDate(p.value.RealValue(), sqlType, b, digits);
    } else {
      std::string value;
      bool isNull = !p.value.ToText(value) && p.value.Type() != VT_BYTES;
      if (p.value.Type() == VT_BYTES) value = p.value.TextValue();
      std::size_t capacity = value.size() + 1;
      if (p.direction != adParamInput) {
        long wanted = std::min<long>(std::max<long>(p.size, 64), kMaxOutputBytes) * 4 + 1;
        capacity = std::max<std::size_t>(capacity, static_cast<std::size_t>(wanted));
      }
      b.buffer.assign(capacity, '\0');
      std::memcpy(b.buffer.data(), value.data(), value.size());
      b.cType = IsBinary(p.type) ? SQL_C_BINARY : SQL_C_CHAR;
      b.indicator = (isNull || p.direction == adParamOutput || p.direction == adParamReturnValue)
                        ? SQL_NULL_DATA
                        : static_cast<SQLLEN>(value.size());
      if (defaults && p.direction == adParamInput && p.value.Type() == VT_ERROR) b.indicator = SQL_DEFAULT_PARAM;
      columnSize = static_cast<SQLULEN>(std::max<long>(p.size, static_cast<long>(value.size())));
      if (p.type == adNumeric || p.type == adDecimal) {
        columnSize = static_cast<SQLULEN>(p.precision > 0 ? p.precision : 28);
        digits = static_cast<SQLSMALLINT>(p.scale > 0 ? p.scale : 0);
      }
      if (columnSize == 0) columnSize = 1;
    }
    SQLRETURN r = SQLBindParameter(st.handle, static_cast<SQLUSMALLINT>(i + 1), io, b.cType, sqlType, columnSize,
                                   digits, b.buffer.data(), static_cast<SQLLEN>(b.buffer.size()), &b.indicator);
    if (!st.Check(r, failure)) return false;
  }
  SQLRETURN r = SQLExecDirect(st.handle, Sql(sql.c_str()), SQL_NTS);
  if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) {
    if (sqlState) {
      SQLCHAR state[6] = "";
      SQLINTEGER native = 0;
      SQLSMALLINT length = 0;
      SQLGetDiagRec(SQL_HANDLE_STMT, st.handle, 1, state, &native, nullptr, 0, &length);
      *sqlState = reinterpret_cast<char*>(state);
    }
    return c.Diagnose(SQL_HANDLE_STMT, st.handle, failure);
  }
  // Output parameters are filled once every result has been read.
  for (;;) {
    r = SQLMoreResults(st.handle);
    if (r == SQL_NO_DATA) break;
    if (!st.Check(r, failure)) return false;
  }
  for (std::size_t i = 0; i < bound.size(); ++i) {
    Parameter& p = *bound[i];
    const Binding& b = bindings[i];
    if (p.direction == adParamInput) continue;
    if (b.indicator == SQL_NULL_DATA) {
      p.value = DbVariant::Null();
      continue;
    }
    if (b.cType != SQL_C_CHAR && b.cType != SQL_C_BINARY) {
      p.value = DateFromBinding(b);
      continue;
    }
    std::size_t length = b.buffer.size() - (IsBinary(p.type) ? 0 : 1);
    if (b.indicator >= 0 && static_cast<std::size_t>(b.indicator) < length)
      length = static_cast<std::size_t>(b.indicator);
    else if (!IsBinary(p.type))
      length = std::strlen(b.buffer.data());
    p.value = ValueFromText(p.type, std::string(b.buffer.data(), length));
  }
  return true;
}

bool OdbcCommand::Execute(long options, DbFailure& failure) {
  OdbcConnection* c = Ready(failure);
  if (!c) return false;
  c->errors.clear();
  bool procedure = (options & adCmdStoredProc) != 0 || ((options & adCmdText) == 0 && commandType == adCmdStoredProc);
  std::vector<Parameter*> all;
  for (Parameter& p : parameters) all.push_back(&p);
  if (!procedure) return Run(*c, text, all, false, failure, nullptr);

  Parameter* returned = nullptr;
  std::vector<Parameter*> arguments;
  for (Parameter& p : parameters) {
    if (p.direction == adParamReturnValue && !returned)
      returned = &p;
    else
      arguments.push_back(&p);
  }
  // Trailing arguments not given are left out of the call, so that the procedure takes
  // its defaults for them also where the driver passes SQL_DEFAULT_PARAM on as null
  // (psqlODBC does). One not given with a given one after it can only be bound as
  // SQL_DEFAULT_PARAM.
  while (!arguments.empty() && arguments.back()->direction == adParamInput &&
         arguments.back()->value.Type() == VT_ERROR)
    arguments.pop_back();
  std::string marks;
  for (std::size_t i = 0; i < arguments.size(); ++i) marks += i ? ",?" : "?";
  std::string call = std::string("{") + (returned ? "? = " : "") + "call " + text;
  if (!arguments.empty()) call += "(" + marks + ")";
  call += "}";
  std::vector<Parameter*> bound;
  if (returned) bound.push_back(returned);
  bound.insert(bound.end(), arguments.begin(), arguments.end());
  std::string state;
  if (Run(*c, call, bound, true, failure, &state)) return true;
  // PostgreSQL runs a PROCEDURE (as opposed to a function) only through its own CALL
  // statement and says so with "wrong object type".
  if (state != "42809") return false;
  c->errors.clear();
  return Run(*c, "CALL " + text + "(" + marks + ")", arguments, false, failure, nullptr);
}

}  // namespace

std::shared_ptr<Connection> NewConnection(DbFailure& failure) {
  auto connection = std::make_shared<OdbcConnection>();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &connection->env))) {
    connection->env = SQL_NULL_HENV;
    failure.Set(kErrFail, AdoErrorText(kErrFail), "ODBC", "The ODBC environment cannot be created.");
    return nullptr;
  }
  SQLSetEnvAttr(connection->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, connection->env, &connection->dbc))) {
    connection->dbc = SQL_NULL_HDBC;
    connection->Diagnose(SQL_HANDLE_ENV, connection->env, failure);
    return nullptr;
  }
  return connection;
}

std::unique_ptr<Recordset> NewRecordset(DbFailure&) { return std::unique_ptr<Recordset>(new OdbcRecordset()); }

std::unique_ptr<Command> NewCommand(DbFailure&) { return std::unique_ptr<Command>(new OdbcCommand()); }

const char* BackendName() { return "odbc"; }

}  // namespace dbl
