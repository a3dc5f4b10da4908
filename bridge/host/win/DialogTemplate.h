// A dialog template built in memory, so the host's dialogs need no resource
// script: DLGTEMPLATE, then one DLGITEMTEMPLATE per control.
#pragma once
#include <windows.h>

#include <vector>

namespace qelt::bridge {

class DialogTemplate {
 public:
  // Predefined control classes, as templates name them by atom.
  static constexpr WORD kButton = 0x0080;
  static constexpr WORD kEdit = 0x0081;
  static constexpr WORD kStatic = 0x0082;

  // Sizes are dialog units; the font (DS_SETFONT is added) sets their scale.
  DialogTemplate(DWORD style, DWORD exStyle, const wchar_t* title, short cx, short cy, WORD pointSize,
                 const wchar_t* font);
  void Add(WORD id, WORD classAtom, DWORD style, const wchar_t* text, short x, short y, short cx, short cy);
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Put(DWORD value);
  void Put(const wchar_t* text);
  void AlignToDword();
  std::vector<WORD> words_;
};

}  // namespace qelt::bridge
