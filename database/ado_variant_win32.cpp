#include "database/ado_variant_win32.h"

#include <cstdio>
#include <cstring>

namespace dbl {

std::string BstrToText(BSTR text) {
  if (!text) return std::string();
  int wide = static_cast<int>(SysStringLen(text));
  if (wide == 0) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, wide, &out[0], n, nullptr, nullptr);
  return out;
}

BSTR TextToBstr(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n > 0 ? n : 0));
  if (out && n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out, n);
  return out;
}

bool ToVariant(const DbVariant& in, VARIANT& out) {
  VariantInit(&out);
  switch (in.Type()) {
    case VT_EMPTY: return true;
    case VT_NULL: out.vt = ::VT_NULL; return true;
    case VT_I1: out.cVal = static_cast<CHAR>(in.IntValue()); break;
    case VT_I2: out.iVal = static_cast<SHORT>(in.IntValue()); break;
    case VT_I4: out.lVal = static_cast<LONG>(in.IntValue()); break;
    case VT_INT: out.intVal = static_cast<INT>(in.IntValue()); break;
    case VT_UI1: out.bVal = static_cast<BYTE>(in.IntValue()); break;
    case VT_UI2: out.uiVal = static_cast<USHORT>(in.IntValue()); break;
    case VT_UI4: out.ulVal = static_cast<ULONG>(in.IntValue()); break;
    case VT_UINT: out.uintVal = static_cast<UINT>(in.IntValue()); break;
    case VT_I8: out.llVal = in.IntValue(); break;
    case VT_UI8: out.ullVal = static_cast<ULONGLONG>(in.IntValue()); break;
    case VT_R4: out.fltVal = static_cast<FLOAT>(in.RealValue()); break;
    case VT_R8: out.dblVal = in.RealValue(); break;
    case VT_DATE: out.date = in.RealValue(); break;
    case VT_BOOL: out.boolVal = in.BoolValue() ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_ERROR: out.scode = static_cast<SCODE>(in.IntValue()); break;
    case VT_BSTR:
      out.bstrVal = TextToBstr(in.TextValue());
      if (!out.bstrVal) return false;
      break;
    case VT_DECIMAL: {
      // The DECIMAL overlays the whole VARIANT, its first word included: the type goes in last.
      DECIMAL d;
      std::memset(&d, 0, sizeof d);
      d.scale = in.DecimalValue().scale;
      d.sign = in.DecimalValue().negative ? DECIMAL_NEG : 0;
      d.Hi32 = in.DecimalValue().hi32;
      d.Lo64 = in.DecimalValue().lo64;
      out.decVal = d;
      break;
    }
    case VT_BYTES: {
      const std::string& bytes = in.TextValue();
      SAFEARRAY* array = SafeArrayCreateVector(::VT_UI1, 0, static_cast<ULONG>(bytes.size()));
      if (!array) return false;
      void* data = nullptr;
      if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
      }
      out.parray = array;
      break;
    }
    default:
      return false;
  }
  out.vt = static_cast<VARTYPE>(in.Type());
  return true;
}

bool FromVariant(const VARIANT& in, DbVariant& out) {
  switch (in.vt) {
    case ::VT_EMPTY: out = DbVariant(); return true;
    case ::VT_NULL: out = DbVariant::Null(); return true;
    case ::VT_I1: out = DbVariant::Int(in.cVal, VT_I1); return true;
    case ::VT_I2: out = DbVariant::Int(in.iVal, VT_I2); return true;
    case ::VT_I4: out = DbVariant::Int(in.lVal, VT_I4); return true;
    case ::VT_INT: out = DbVariant::Int(in.intVal, VT_INT); return true;
    case ::VT_UI1: out = DbVariant::Int(in.bVal, VT_UI1); return true;
    case ::VT_UI2: out = DbVariant::Int(in.uiVal, VT_UI2); return true;
    case ::VT_UI4: out = DbVariant::Int(in.ulVal, VT_UI4); return true;
    case ::VT_UINT: out = DbVariant::Int(in.uintVal, VT_UINT); return true;
    case ::VT_I8: out = DbVariant::Int(in.llVal, VT_I8); return true;
    case ::VT_UI8: out = DbVariant::Int(static_cast<long long>(in.ullVal), VT_UI8); return true;
    case ::VT_R4: out = DbVariant::Real(in.fltVal, VT_R4); return true;
    case ::VT_R8: out = DbVariant::Real(in.dblVal, VT_R8); return true;
    case ::VT_DATE: out = DbVariant::Date(in.date); return true;
    case ::VT_BOOL: out = DbVariant::Bool(in.boolVal != VARIANT_FALSE); return true;
    case ::VT_ERROR: out = DbVariant::Error(in.scode); return true;
    case ::VT_BSTR: out = DbVariant::Text(BstrToText(in.bstrVal)); return true;
    case ::VT_DECIMAL: {
      DbDecimal d;
      d.scale = in.decVal.scale;
      d.negative = (in.decVal.sign & DECIMAL_NEG) != 0;
      d.hi32 = in.decVal.Hi32;
      d.lo64 = in.decVal.Lo64;
      out = DbVariant::Decimal(d);
      return true;
    }
    case ::VT_ARRAY | ::VT_UI1: {
      SAFEARRAY* array = in.parray;
      LONG low = 0, high = -1;
      if (!array || FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high)))
        return false;
      void* data = nullptr;
      if (FAILED(SafeArrayAccessData(array, &data))) return false;
      std::string bytes(static_cast<const char*>(data), static_cast<std::size_t>(high - low + 1));
      SafeArrayUnaccessData(array);
      out = DbVariant::Bytes(bytes);
      return true;
    }
    default: {
      VARIANT converted;
      VariantInit(&converted);
      VARTYPE target = in.vt == ::VT_CY ? ::VT_DECIMAL : ::VT_BSTR;
      if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&in), 0, target))) return false;
      bool ok = FromVariant(converted, out);
      VariantClear(&converted);
      return ok;
    }
  }
}

std::string HresultText(HRESULT hr) {
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text,
                           nullptr);
  if (n > 0) {
    if (n > 1 && text[n - 1] == '\n') {
      text[--n] = '\0';
      if (text[n - 1] == '\r') text[--n] = '\0';
    }
    return text;
  }
  unsigned long code = static_cast<unsigned long>(hr);
  if (code >= 0x80040200UL && code <= 0x8004FFFFUL)
    std::snprintf(text, sizeof text, "IDispatch error #%lu", code - 0x80040200UL);
  else
    std::snprintf(text, sizeof text, "Unknown error 0x%0lX", code);
  return text;
}

void FailureFromHresult(HRESULT hr, DbFailure& failure) {
  std::string source, description;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    BSTR b = nullptr;
    if (SUCCEEDED(info->GetSource(&b))) source = BstrToText(b);
    SysFreeString(b);
    b = nullptr;
    if (SUCCEEDED(info->GetDescription(&b))) description = BstrToText(b);
    SysFreeString(b);
    info->Release();
  }
  failure.Set(static_cast<unsigned long>(hr), HresultText(hr).c_str(), source.c_str(), description.c_str());
}

}  // namespace dbl
