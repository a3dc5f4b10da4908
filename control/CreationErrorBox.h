// The box that tells the user why a control could not be created.
#pragma once
#include <string>

namespace qelt::control {

// A modal stop box titled "DAX Error", without owner, brought to the front.
void ShowDaxError(const std::string& message) noexcept;

}  // namespace qelt::control
