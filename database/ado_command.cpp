#include "database/ado_command.h"

#include <cstdio>
#include <string>

#include "database/db_errors.h"

namespace dbl {

bool ParameterShapeFor(const DbVariant& value, ParameterShape& shape) {
  shape = ParameterShape();
  switch (value.Type()) {
    case VT_UI4:
    case VT_UINT:
      shape.type = adUnsignedInt;
      shape.size = 4;
      return true;
    case VT_BSTR:
      shape.type = adVarChar;
      shape.size = static_cast<long>(2 * value.CharacterCount());
      return true;
    case VT_DECIMAL:
      shape.type = adDecimal;
      shape.size = 16;
      shape.scale = value.DecimalValue().scale;
      shape.precision = 14;
      return true;
    case VT_ERROR:
      shape.type = adError;
      shape.size = 0;
      return true;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
      shape.type = adInteger;
      shape.size = 4;
      return true;
    case VT_I8:  // 64-bit values do not fit adInteger
      shape.type = adBigInt;
      shape.size = 8;
      return true;
    case VT_UI8:
      shape.type = adUnsignedBigInt;
      shape.size = 8;
      return true;
    case VT_R4:
    case VT_R8:
      shape.type = adDouble;
      shape.size = 8;
      return true;
    case VT_BOOL:
      shape.type = adBoolean;
      shape.size = 2;
      return true;
    case VT_DATE:
      shape.type = adDBTimeStamp;
      shape.size = 16;
      return true;
    case VT_EMPTY:
    case VT_NULL:  // an input parameter whose value is null
      shape.type = adVarChar;
      shape.size = 1;
      return true;
    default:
      return false;
  }
}

}  // namespace dbl

namespace {

std::string ParameterWhere(const char* name) {
  std::string where = "CAdoRecordset::SetParameter('";
  where += name ? name : "";
  where += "')";
  return where;
}

}  // namespace

CAdoCommand::CAdoCommand() : db(nullptr), providerErrorText(), comErrorText() {
  dbl::DbFailure failure;
  command = dbl::NewCommand(failure);
  if (!command) dbl::CopyText(comErrorText, sizeof comErrorText, "Error:Can't create Command instance");
}

CAdoCommand::~CAdoCommand() = default;

void CAdoCommand::SetDatabase(CAdoDatabase* database) {
  db = database;
  if (!database) {
    dbl::CopyText(providerErrorText, sizeof providerErrorText, "Error: adoDbf not initializated");
    return;
  }
  dbl::DbFailure failure;
  if (!command) command = dbl::NewCommand(failure);
  if (!command) {
    dbl::CopyText(comErrorText, sizeof comErrorText, "Error:Can't create Command instance");
    return;
  }
  if (!command->SetActiveConnection(database->connection, failure)) Fail("CAdoCommand::SetDatabase", failure);
}

bool CAdoCommand::SetCommantText(const char* procedure) {
  dbl::DbFailure failure;
  if (!command) {
    dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
    return Fail("CAdoRecordset::SetCommantText", failure);
  }
  if (!command->SetCommandType(dbl::adCmdStoredProc, failure) ||
      !command->SetCommandText(procedure ? procedure : "", failure) || !command->RefreshParameters(failure))
    return Fail("CAdoRecordset::SetCommantText", failure);
  return true;
}

bool CAdoCommand::AddParameter(const char* name, const dbl::DbVariant& value) {
  if (!db) {
    dbl::CopyText(providerErrorText, sizeof providerErrorText, "Error: adoDbf not initializated");
    return false;
  }
  dbl::ParameterShape shape;
  if (!dbl::ParameterShapeFor(value, shape)) {
    comErrorText[0] = '\0';
    std::snprintf(providerErrorText, sizeof providerErrorText,
                  "Error: no parameter type for VARIANT type %u (parameter '%s')",
                  static_cast<unsigned>(value.Type()), name ? name : "");
    db->LogComError("CAdoRecordset::Open", comErrorText, providerErrorText);
    return false;
  }
  dbl::DbFailure failure;
  if (!command) {
    dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
    return Fail("CAdoRecordset::Open", failure);
  }
  const dbl::DbVariant& given = value.IsEmpty() ? dbl::DbVariant::Null() : value;
  if (!command->AppendParameter(name ? name : "", shape.type, dbl::adParamInput, shape.size, given,
                                shape.precision, shape.scale, failure))
    return Fail("CAdoRecordset::Open", failure);
  return true;
}

bool CAdoCommand::SetParameter(const char* name, const dbl::DbVariant& value) {
  dbl::DbFailure failure;
  if (!command) dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
  if (!command || !command->SetParameterValue(name ? name : "", value, failure))
    return Fail(ParameterWhere(name).c_str(), failure);
  return true;
}

bool CAdoCommand::GetParameter(const char* name, dbl::DbVariant& value) {
  dbl::DbFailure failure;
  if (!command) dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
  if (!command || !command->GetParameterValue(name ? name : "", value, failure))
    return Fail(ParameterWhere(name).c_str(), failure);
  return true;
}

bool CAdoCommand::Execute() {
  dbl::DbFailure failure;
  if (!command) dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
  if (!command || !command->Execute(dbl::adCmdStoredProc, failure)) return Fail("CAdoRecordset::Execute()", failure);
  return true;
}

bool CAdoCommand::Fail(const char* where, const dbl::DbFailure& failure) {
  dbl::ReportObjectFailure(db, where, failure, comErrorText, sizeof comErrorText, providerErrorText,
                           sizeof providerErrorText);
  return false;
}
