// Runs a program with its standard output on a pipe.
#pragma once
#include <windows.h>

#include <string>

namespace qelt::test {

// Starts the command line, collects its standard output through a pipe and
// its standard error through a file, waits (at most a minute) and returns
// the exit code.
DWORD RunProcess(const std::string& commandLine, std::string& out, std::string& err);

}  // namespace qelt::test
