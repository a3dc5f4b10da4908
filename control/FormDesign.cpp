#include "FormDesign.h"

namespace qelt::control {

SIZEL FormExtentHimetric() {
  // 2540 HIMETRIC units to the inch.
  return SIZEL{MulDiv(kFormWidthPixels, 2540, 96), MulDiv(kFormHeightPixels, 2540, 96)};
}

void DrawForm(HDC dc, const RECT& bounds) {
  ::FillRect(dc, &bounds, ::GetSysColorBrush(COLOR_BTNFACE));
  ::FrameRect(dc, &bounds, ::GetSysColorBrush(COLOR_WINDOWFRAME));
}

}  // namespace qelt::control
