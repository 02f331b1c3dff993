#include "database/ado_recordset.h"

#include "database/db_errors.h"

CAdoRecordset::CAdoRecordset() : recordCount(-1), db(nullptr), comErrorText(), providerErrorText() {
  dbl::DbFailure failure;
  recordset = dbl::NewRecordset(failure);
  if (!recordset) dbl::CopyText(comErrorText, sizeof comErrorText, "Error:Can't create Recordset instance");
}

CAdoRecordset::~CAdoRecordset() = default;

bool CAdoRecordset::Open(const char* sql, CAdoDatabase* database) {
  recordCount = -1;
  if (database) db = database;
  if (!db) {
    dbl::CopyText(providerErrorText, sizeof providerErrorText, "Error: adoDbf not initializated");
    return false;
  }
  dbl::DbFailure failure;
  if (!recordset) recordset = dbl::NewRecordset(failure);
  if (!recordset) return Fail("CAdoRecordset::Open", failure);
  long count = -1;
  if (!recordset->SetCursorLocation(dbl::adUseClient, failure) ||
      !recordset->Open(sql ? sql : "", db->connection, dbl::adOpenStatic, dbl::adLockReadOnly, dbl::adCmdText,
                       failure) ||
      !recordset->RecordCount(count, failure))
    return Fail("CAdoRecordset::Open", failure);
  recordCount = static_cast<int>(count);
  return true;
}

bool CAdoRecordset::GetFieldValue(const char* name, dbl::DbVariant& value) {
  value = dbl::DbVariant();
  dbl::DbFailure failure;
  if (!recordset) {
    dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
    return Fail("CAdoRecordset::GetFieldValue", failure);
  }
  if (!recordset->FieldValue(name ? name : "", value, failure)) {
    value = dbl::DbVariant();
    return Fail("CAdoRecordset::GetFieldValue", failure);
  }
  return true;
}

dbl::DbVariant CAdoRecordset::GetFieldValue(const char* name) {
  dbl::DbVariant value;
  GetFieldValue(name, value);
  return value;
}

bool CAdoRecordset::MoveNext() {
  dbl::DbFailure failure;
  bool eof = true;
  if (!recordset) {
    dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
    return Fail("CAdoRecordset::MoveNext", failure);
  }
  if (!recordset->MoveNext(failure) || !recordset->IsEOF(eof, failure)) return Fail("CAdoRecordset::MoveNext", failure);
  return !eof;
}

// Without a readable cursor there is no current row: a closed or never opened recordset
// counts as being at its end.
bool CAdoRecordset::IsEOF() {
  if (!recordset) return true;
  dbl::DbFailure failure;
  bool eof = true;
  if (!recordset->IsEOF(eof, failure)) return true;
  return eof;
}

bool CAdoRecordset::Close() {
  dbl::DbFailure failure;
  if (!recordset) {
    dbl::SetAdoFailure(failure, dbl::kErrPointer, "");
    return Fail("CAdoRecordset::Close", failure);
  }
  if (!recordset->Close(failure)) return Fail("CAdoRecordset::Close", failure);
  return true;
}

bool CAdoRecordset::Fail(const char* where, const dbl::DbFailure& failure) {
  dbl::ReportObjectFailure(db, where, failure, comErrorText, sizeof comErrorText, providerErrorText,
                           sizeof providerErrorText);
  return false;
}
