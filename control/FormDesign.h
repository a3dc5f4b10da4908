// The form's design: an empty button-face rectangle with a single-line border.
#pragma once
#include <windows.h>

namespace qelt::control {

constexpr int kFormWidthPixels = 149;   // at 96 pixels per inch
constexpr int kFormHeightPixels = 105;
constexpr const wchar_t* kFormCaption = L"QELTReader";

// The design size in HIMETRIC units (0.01 mm), as hosts measure extents.
SIZEL FormExtentHimetric();

// Draws the form into a rectangle of any device context.
void DrawForm(HDC dc, const RECT& bounds);

}  // namespace qelt::control
