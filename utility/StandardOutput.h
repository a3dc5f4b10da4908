// The process's standard output as the command-line mode writes to it.
#pragma once
#include <string>

namespace qelt {

// Opens standard output on the first write. A console sees each line at
// once; a file or pipe gets the text through a 128-byte buffer, written
// whenever it fills and at the latest when the module is unloaded.
// Fails with "I/O error 105" when the process has no standard output.
void WriteOutputLine(const std::string& text);

}  // namespace qelt
