#include "VariantText.h"

#include <cstdio>

#include "ComGuard.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::control {

namespace {

const char* TypeName(VARTYPE vt) {
  if (vt & VT_ARRAY) return "Array";
  switch (vt & VT_TYPEMASK) {
    case VT_NULL: return "Null";
    case VT_DISPATCH: return "Dispatch";
    case VT_UNKNOWN: return "Unknown";
    case VT_ERROR: return "Error";
    default: return "Unknown";
  }
}

[[noreturn]] void CannotConvert(VARTYPE vt) {
  char message[128];
  std::snprintf(message, sizeof message, "Could not convert variant of type (%s) into type (%s)", TypeName(vt),
                "String");
  throw ComError(DISP_E_TYPEMISMATCH, message);
}

}  // namespace

std::string VariantToAnsi(const VARIANT& value) {
  if (V_VT(&value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&value)) return VariantToAnsi(*V_VARIANTREF(&value));
  win::Variant direct;
  if (FAILED(::VariantCopyInd(&direct, const_cast<VARIANT*>(&value)))) CannotConvert(V_VT(&value));
  switch (V_VT(&direct)) {
    case VT_EMPTY: return {};
    case VT_NULL: CannotConvert(VT_NULL);
    case VT_BSTR: return win::BstrToAnsi(V_BSTR(&direct));
    case VT_I1: return std::to_string(V_I1(&direct));
    case VT_UI1: return std::to_string(V_UI1(&direct));
    case VT_I2: return std::to_string(V_I2(&direct));
    case VT_UI2: return std::to_string(V_UI2(&direct));
    case VT_I4: return std::to_string(V_I4(&direct));
    case VT_UI4: return std::to_string(V_UI4(&direct));
    case VT_INT: return std::to_string(V_INT(&direct));
    case VT_UINT: return std::to_string(V_UINT(&direct));
    case VT_I8: return std::to_string(V_I8(&direct));
    case VT_UI8: return std::to_string(V_UI8(&direct));
    default: break;
  }
  // Anything else the platform can render as a string (dates, reals, Booleans).
  win::Variant text;
  if (FAILED(::VariantChangeTypeEx(&text, &direct, LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR)))
    CannotConvert(V_VT(&direct));
  return win::BstrToAnsi(V_BSTR(&text));
}

}  // namespace qelt::control
