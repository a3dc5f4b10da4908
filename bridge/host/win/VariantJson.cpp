#include "VariantJson.h"

#include <windows.h>

#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bridge {

void ToVariant(const Json& scalar, VARIANT& target) {
  switch (ClassifyArgument(scalar)) {
    case ArgumentType::kString: {
      const std::wstring text = win::Utf8ToWide(scalar.get_ref<const std::string&>());
      target.vt = VT_BSTR;
      target.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      break;
    }
    case ArgumentType::kInt32:
      target.vt = VT_I4;
      target.lVal = static_cast<LONG>(scalar.get<std::int64_t>());
      break;
    case ArgumentType::kDouble:
      target.vt = VT_R8;
      target.dblVal = scalar.get<double>();
      break;
    case ArgumentType::kBool:
      target.vt = VT_BOOL;
      target.boolVal = scalar.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case ArgumentType::kNull:
      target.vt = VT_NULL;
      break;
  }
}

bool FromVariant(const VARIANT& value, Json& out) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL: out = nullptr; return true;
    case VT_BSTR: out = win::WideToUtf8(value.bstrVal, ::SysStringLen(value.bstrVal)); return true;
    case VT_BOOL: out = value.boolVal != VARIANT_FALSE; return true;
    case VT_I1: out = value.cVal; return true;
    case VT_I2: out = value.iVal; return true;
    case VT_I4: out = value.lVal; return true;
    case VT_INT: out = value.intVal; return true;
    case VT_I8: out = value.llVal; return true;
    case VT_UI1: out = value.bVal; return true;
    case VT_UI2: out = value.uiVal; return true;
    case VT_UI4: out = value.ulVal; return true;
    case VT_UINT: out = value.uintVal; return true;
    case VT_UI8: out = value.ullVal; return true;
    case VT_R4: out = value.fltVal; return true;
    case VT_R8: out = value.dblVal; return true;
    default: break;
  }
  win::Variant text;
  if (FAILED(::VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) return false;
  out = win::WideToUtf8(text.bstrVal, ::SysStringLen(text.bstrVal));
  return true;
}

}  // namespace qelt::bridge
