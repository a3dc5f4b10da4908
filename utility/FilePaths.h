// File names as the failure messages show them.
#pragma once
#include <string>

namespace qelt {

// The name expanded to a full path; the name itself when it cannot be.
std::string FullPath(const std::string& name);

}  // namespace qelt
