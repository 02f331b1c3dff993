// The database seam over ADO, driven through COM with the ADO interfaces (early binding).
// The objects come from CoCreateInstance of the ADO Connection, Recordset and Command
// classes with class context 23; every failing call is turned into the HRESULT report of
// the thread's error object.
#include <windows.h>
#include <oleauto.h>
#include <initguid.h>  // defines the ADO class and interface identifiers in this file
#include <adoid.h>
#include <adoint.h>

#include <string>

#include "database/ado_variant_win32.h"
#include "database/db_backend.h"

namespace dbl {

namespace {

// In-process server, in-process handler, local server and remote server.
constexpr DWORD kClassContext = 23;

template <typename T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// A BSTR that frees itself.
class Bstr {
 public:
  explicit Bstr(const char* text) : value(TextToBstr(text ? text : "")) {}
  ~Bstr() { SysFreeString(value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR value;
};

// A VARIANT that clears itself.
class Variant {
 public:
  Variant() { VariantInit(&value); }
  ~Variant() { VariantClear(&value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT value;
};

bool Check(HRESULT hr, DbFailure& failure) {
  if (SUCCEEDED(hr)) return true;
  FailureFromHresult(hr, failure);
  return false;
}

void SetName(Variant& v, const char* name) {
  v.value.vt = ::VT_BSTR;
  v.value.bstrVal = TextToBstr(name ? name : "");
}

class AdoConnection : public Connection {
 public:
  explicit AdoConnection(_ADOConnection* p) : object(p) {}
  ~AdoConnection() override { Release(object); }

  bool SetCursorLocation(int location, DbFailure& failure) override {
    return Check(object->put_CursorLocation(static_cast<CursorLocationEnum>(location)), failure);
  }

  bool Open(const char* text, const char* user, const char* password, long options, DbFailure& failure) override {
    Bstr t(text), u(user), p(password);
    return Check(object->Open(t.value, u.value, p.value, options), failure);
  }

  bool Close(DbFailure& failure) override { return Check(object->Close(), failure); }

  bool ErrorCount(long& count, DbFailure& failure) override {
    ADOErrors* errors = nullptr;
    bool ok = Check(object->get_Errors(&errors), failure) && Check(errors->get_Count(&count), failure);
    Release(errors);
    return ok;
  }

  bool ErrorAt(long index, long& number, std::string& description, DbFailure& failure) override {
    ADOErrors* errors = nullptr;
    ADOError* error = nullptr;
    Variant item;
    item.value.vt = ::VT_I4;
    item.value.lVal = index;
    BSTR text = nullptr;
    bool ok = Check(object->get_Errors(&errors), failure) && Check(errors->get_Item(item.value, &error), failure) &&
              Check(error->get_Number(&number), failure) && Check(error->get_Description(&text), failure);
    if (ok) description = BstrToText(text);
    SysFreeString(text);
    Release(error);
    Release(errors);
    return ok;
  }

  _ADOConnection* object;
};

class AdoRecordset : public Recordset {
 public:
  explicit AdoRecordset(_ADORecordset* p) : object(p) {}
  ~AdoRecordset() override { Release(object); }

  bool SetCursorLocation(int location, DbFailure& failure) override {
    return Check(object->put_CursorLocation(static_cast<CursorLocationEnum>(location)), failure);
  }

  bool Open(const char* source, const std::shared_ptr<Connection>& connection, int cursorType, int lockType,
            long options, DbFailure& failure) override {
    Variant text, active;
    SetName(text, source);
    auto* ado = dynamic_cast<AdoConnection*>(connection.get());
    active.value.vt = ::VT_DISPATCH;
    active.value.pdispVal = ado ? ado->object : nullptr;
    if (active.value.pdispVal) active.value.pdispVal->AddRef();  // the Variant releases it
    return Check(object->Open(text.value, active.value, static_cast<CursorTypeEnum>(cursorType),
                              static_cast<LockTypeEnum>(lockType), options),
                 failure);
  }

  bool RecordCount(long& count, DbFailure& failure) override {
    ADO_LONGPTR n = -1;
    if (!Check(object->get_RecordCount(&n), failure)) return false;
    count = static_cast<long>(n);
    return true;
  }

  bool FieldValue(const char* name, DbVariant& value, DbFailure& failure) override {
    ADOFields* fields = nullptr;
    ADOField* field = nullptr;
    Variant item, result;
    SetName(item, name);
    bool ok = Check(object->get_Fields(&fields), failure) && Check(fields->get_Item(item.value, &field), failure) &&
              Check(field->get_Value(&result.value), failure);
    Release(field);
    Release(fields);
    if (ok && !FromVariant(result.value, value)) {
      FailureFromHresult(DISP_E_TYPEMISMATCH, failure);
      ok = false;
    }
    return ok;
  }

  bool MoveNext(DbFailure& failure) override { return Check(object->MoveNext(), failure); }

  bool IsEOF(bool& eof, DbFailure& failure) override {
    VARIANT_BOOL b = VARIANT_TRUE;
    if (!Check(object->get_EOF(&b), failure)) return false;
    eof = b != VARIANT_FALSE;
    return true;
  }

  bool Close(DbFailure& failure) override { return Check(object->Close(), failure); }

  _ADORecordset* object;
};

class AdoCommand : public Command {
 public:
  explicit AdoCommand(_ADOCommand* p) : object(p) {}
  ~AdoCommand() override { Release(object); }

  bool SetActiveConnection(const std::shared_ptr<Connection>& connection, DbFailure& failure) override {
    auto* ado = dynamic_cast<AdoConnection*>(connection.get());
    return Check(object->putref_ActiveConnection(ado ? ado->object : nullptr), failure);
  }

  bool SetCommandType(int type, DbFailure& failure) override {
    return Check(object->put_CommandType(static_cast<CommandTypeEnum>(type)), failure);
  }

  bool SetCommandText(const char* text, DbFailure& failure) override {
    Bstr t(text);
    return Check(object->put_CommandText(t.value), failure);
  }

  bool RefreshParameters(DbFailure& failure) override {
    ADOParameters* parameters = nullptr;
    bool ok = Check(object->get_Parameters(&parameters), failure) && Check(parameters->Refresh(), failure);
    Release(parameters);
    return ok;
  }

  bool AppendParameter(const char* name, int type, int direction, long size, const DbVariant& value, int precision,
                       int scale, DbFailure& failure) override {
    Variant v;
    if (!ToVariant(value, v.value)) {
      FailureFromHresult(DISP_E_TYPEMISMATCH, failure);
      return false;
    }
    Bstr n(name);
    _ADOParameter* parameter = nullptr;
    ADOParameters* parameters = nullptr;
    bool ok = Check(object->CreateParameter(n.value, static_cast<DataTypeEnum>(type),
                                            static_cast<ParameterDirectionEnum>(direction), size, v.value, &parameter),
                    failure) &&
              (precision < 0 || Check(parameter->put_Precision(static_cast<BYTE>(precision)), failure)) &&
              (scale < 0 || Check(parameter->put_NumericScale(static_cast<BYTE>(scale)), failure)) &&
              Check(object->get_Parameters(&parameters), failure) && Check(parameters->Append(parameter), failure);
    Release(parameters);
    Release(parameter);
    return ok;
  }

  bool SetParameterValue(const char* name, const DbVariant& value, DbFailure& failure) override {
    Variant v;
    if (!ToVariant(value, v.value)) {
      FailureFromHresult(DISP_E_TYPEMISMATCH, failure);
      return false;
    }
    _ADOParameter* parameter = nullptr;
    bool ok = Find(name, parameter, failure) && Check(parameter->put_Value(v.value), failure);
    Release(parameter);
    return ok;
  }

  bool GetParameterValue(const char* name, DbVariant& value, DbFailure& failure) override {
    Variant v;
    _ADOParameter* parameter = nullptr;
    bool ok = Find(name, parameter, failure) && Check(parameter->get_Value(&v.value), failure);
    Release(parameter);
    if (ok && !FromVariant(v.value, value)) {
      FailureFromHresult(DISP_E_TYPEMISMATCH, failure);
      ok = false;
    }
    return ok;
  }

  bool Execute(long options, DbFailure& failure) override {
    Variant missing;
    missing.value.vt = ::VT_ERROR;
    missing.value.scode = DISP_E_PARAMNOTFOUND;
    _ADORecordset* result = nullptr;
    bool ok = Check(object->Execute(nullptr, &missing.value, options, &result), failure);
    Release(result);
    return ok;
  }

 private:
  bool Find(const char* name, _ADOParameter*& parameter, DbFailure& failure) {
    ADOParameters* parameters = nullptr;
    Variant item;
    SetName(item, name);
    bool ok = Check(object->get_Parameters(&parameters), failure) &&
              Check(parameters->get_Item(item.value, &parameter), failure);
    Release(parameters);
    return ok;
  }

  _ADOCommand* object;
};

template <typename Interface>
Interface* Create(const CLSID& type, const IID& interfaceId, DbFailure& failure) {
  void* p = nullptr;
  HRESULT hr = CoCreateInstance(type, nullptr, kClassContext, interfaceId, &p);
  if (FAILED(hr) || !p) {
    FailureFromHresult(FAILED(hr) ? hr : E_POINTER, failure);
    return nullptr;
  }
  return static_cast<Interface*>(p);
}

}  // namespace

std::shared_ptr<Connection> NewConnection(DbFailure& failure) {
  auto* p = Create<_ADOConnection>(CLSID_CADOConnection, IID_IADOConnection, failure);
  return p ? std::make_shared<AdoConnection>(p) : nullptr;
}

std::unique_ptr<Recordset> NewRecordset(DbFailure& failure) {
  auto* p = Create<_ADORecordset>(CLSID_CADORecordset, IID_IADORecordset, failure);
  return p ? std::unique_ptr<Recordset>(new AdoRecordset(p)) : nullptr;
}

std::unique_ptr<Command> NewCommand(DbFailure& failure) {
  auto* p = Create<_ADOCommand>(CLSID_CADOCommand, IID_IADOCommand, failure);
  return p ? std::unique_ptr<Command>(new AdoCommand(p)) : nullptr;
}

const char* BackendName() { return "ado"; }

}  // namespace dbl
