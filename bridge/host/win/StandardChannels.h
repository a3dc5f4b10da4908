// The frames' own handles. Once taken, standard output is standard error (or
// nothing), so what anything else in the process prints there, the control's
// command-line mode above all, cannot break a frame.
#pragma once
#include <windows.h>

#include "win/Resources.h"

namespace qelt::bridge {

struct StandardChannels {
  win::UniqueHandle input;
  win::UniqueHandle output;
};

StandardChannels TakeStandardChannels();

// Writes all of the bytes; false when the browser is gone.
bool WriteAll(HANDLE output, const std::string& bytes);

}  // namespace qelt::bridge
