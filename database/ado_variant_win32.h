// The COM side of the ADO backend: VARIANT and BSTR conversions and the COM error
// report, apart from the ADO objects so that they can be tested without ADO.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "database/db_backend.h"

namespace dbl {

// DbVariant to VARIANT; the caller clears `out` with VariantClear. False (and `out`
// empty) for a type that has no VARIANT form.
bool ToVariant(const DbVariant& in, VARIANT& out);
// VARIANT to DbVariant. Types the layer does not hold (currency, ...) are converted by
// COM to decimal or text; false when that fails.
bool FromVariant(const VARIANT& in, DbVariant& out);

// The system's text for an HRESULT, as _com_error::ErrorMessage gives it: the message
// without its line break, "IDispatch error #n" for codes in the dispatch range, else
// "Unknown error 0x...".
std::string HresultText(HRESULT hr);
// The failure of a COM call: the HRESULT, its text and the source and description of the
// thread's error object (taken, so it reports once).
void FailureFromHresult(HRESULT hr, DbFailure& failure);

std::string BstrToText(BSTR text);        // ANSI code page
BSTR TextToBstr(const std::string& text); // SysFreeString when done

}  // namespace dbl
