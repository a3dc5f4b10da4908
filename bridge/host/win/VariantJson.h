// Values between JSON and the control's VARIANTs.
#pragma once
#include <oaidl.h>

#include "Request.h"

namespace qelt::bridge {

// A string is a BSTR, an integer within 32 bits VT_I4, another number VT_R8,
// true/false VT_BOOL, null VT_NULL. target is empty on entry.
void ToVariant(const Json& scalar, VARIANT& target);
// BSTR to string, empty and null to null, numbers and booleans as they are,
// anything else as its text; false when it has none.
bool FromVariant(const VARIANT& value, Json& out);

}  // namespace qelt::bridge
