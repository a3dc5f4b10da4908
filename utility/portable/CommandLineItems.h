// The arguments of a process command line.
#pragma once
#include <string>
#include <vector>

namespace qelt {

// Items are separated by runs of bytes 1 to 32. Text between double quotes
// may hold such bytes; the quotes are removed. A pair of quotes at the start
// of an item is dropped. The first item is the program name and is skipped;
// the list ends before the first argument that comes out empty.
std::vector<std::string> CommandLineArguments(const std::string& commandLine);

}  // namespace qelt
