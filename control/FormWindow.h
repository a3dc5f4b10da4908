// The form's window while the control is active in its host: it paints the
// form and reports mouse, key and paint events to its listener.
#pragma once
#include <windows.h>

#include "win/Resources.h"

namespace qelt::control {

class FormWindowListener {
 public:
  virtual void OnFormMouseDown() = 0;
  virtual void OnFormClick() = 0;
  virtual void OnFormDblClick() = 0;
  virtual void OnFormKeyPress(char& key) = 0;
  virtual void OnFormPaint() = 0;

 protected:
  ~FormWindowListener() = default;
};

// The listener may destroy the window, and this object with it, from inside
// any notice: nothing here touches a member after calling it.
class FormWindow {
 public:
  // A visible child of parent at the given position.
  FormWindow(HWND parent, const RECT& position, FormWindowListener& listener);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;
  HWND Handle() const { return window_.get(); }
  void Move(const RECT& position);

  // Removes the window class when the module goes.
  static void UnregisterClass();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  FormWindowListener& listener_;
  bool buttonDown_ = false;
  win::UniqueWindow window_;
};

}  // namespace qelt::control
