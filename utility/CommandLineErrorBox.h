// The modal error box of the command-line mode.
#pragma once
#include <string>

namespace qelt {

// Shows the message, closed with a full stop, with the error icon and one
// OK button; returns when the user has closed it.
void ShowErrorBox(const std::string& message);

}  // namespace qelt
