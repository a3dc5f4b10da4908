// Loads the control's module on a thread of its own while the connection
// starts, so that creating the control, once the origin is admitted, finds
// it loaded. Loading creates no control: a refused origin gets none.
#pragma once

namespace qelt::bridge {

void PreloadControlModule();

}  // namespace qelt::bridge
