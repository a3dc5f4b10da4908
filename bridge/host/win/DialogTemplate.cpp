#include "DialogTemplate.h"

namespace qelt::bridge {

// The header's fields and each item's, word by word: the layout
// DialogBoxIndirect and CreateDialogIndirect read.
DialogTemplate::DialogTemplate(DWORD style, DWORD exStyle, const wchar_t* title, short cx, short cy,
                               WORD pointSize, const wchar_t* font) {
  Put(style | DS_SETFONT);
  Put(exStyle);
  words_.push_back(0);  // item count, raised by Add
  words_.insert(words_.end(), {0, 0, static_cast<WORD>(cx), static_cast<WORD>(cy)});
  words_.push_back(0);  // no menu
  words_.push_back(0);  // the standard dialog class
  Put(title);
  words_.push_back(pointSize);
  Put(font);
}

void DialogTemplate::Add(WORD id, WORD classAtom, DWORD style, const wchar_t* text, short x, short y, short cx,
                         short cy) {
  AlignToDword();
  Put(style | WS_CHILD | WS_VISIBLE);
  Put(DWORD{0});  // extended style
  words_.insert(words_.end(),
                {static_cast<WORD>(x), static_cast<WORD>(y), static_cast<WORD>(cx), static_cast<WORD>(cy), id});
  words_.insert(words_.end(), {0xFFFF, classAtom});
  Put(text);
  words_.push_back(0);  // no creation data
  ++words_[4];          // cdit: after style (2 words) and extended style (2 words)
}

void DialogTemplate::Put(DWORD value) {
  words_.push_back(LOWORD(value));
  words_.push_back(HIWORD(value));
}

void DialogTemplate::Put(const wchar_t* text) {
  for (; *text; ++text) words_.push_back(static_cast<WORD>(*text));
  words_.push_back(0);
}

void DialogTemplate::AlignToDword() {
  if (words_.size() % 2) words_.push_back(0);
}

}  // namespace qelt::bridge
