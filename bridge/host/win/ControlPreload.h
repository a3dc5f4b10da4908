// Loads the control's module on a thread of its own while the connection
// starts, so that creating the control, once the origin is admitted, finds
// it loaded. Loading creates no control: a refused origin gets none.
#pragma once
#include "win/Resources.h"

namespace qelt::bridge {

class ControlPreload {
 public:
  ControlPreload();
  // Waits for the load to end: a process that ends while another thread is
  // still loading a module may not end cleanly (nor with its exit code).
  ~ControlPreload();
  ControlPreload(const ControlPreload&) = delete;
  ControlPreload& operator=(const ControlPreload&) = delete;

 private:
  win::UniqueHandle thread_;
};

}  // namespace qelt::bridge
