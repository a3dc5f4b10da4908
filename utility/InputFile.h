// Reading an operation's input file as text.
#pragma once
#include <string>

namespace qelt {

// The file's text up to its first NUL, every line ended by CR LF. The file
// is read while others may read it but not write it. Fails with
// "Cannot open file "<full path>". <system text>".
std::string ReadInputFile(const std::string& name);

}  // namespace qelt
