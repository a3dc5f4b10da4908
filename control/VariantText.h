// A VARIANT argument as 8-bit text: strings through the ANSI code page,
// empty for VT_EMPTY, decimal digits for integers, and a failure for VT_NULL.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace qelt::control {

std::string VariantToAnsi(const VARIANT& value);

}  // namespace qelt::control
