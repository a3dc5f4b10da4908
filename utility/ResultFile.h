// Writing an operation's result file.
#pragma once
#include <string>

namespace qelt {

// Replaces the file with the text and CR LF. The new content is written in
// full beside it first and only then takes the old file's place, so a failure
// leaves the old file as it was and no temporary file behind. Fails with
// "Cannot create file "<full path>". <system text>".
void WriteResultFile(const std::string& name, const std::string& text);

}  // namespace qelt
