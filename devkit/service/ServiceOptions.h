// The command line of the local validation service.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qelt::devkit {

struct ServiceOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 8080;                  // 0: any free port (the ready file tells which)
  std::vector<std::string> revokedFiles;
  std::vector<std::string> revoked;
  std::string readyFile;                 // written with the port once the service listens
  bool help = false;
};

extern const char* const kServiceUsage;

// Throws qelt::Exception naming the bad argument.
ServiceOptions ParseServiceOptions(const std::vector<std::string>& args);

}  // namespace qelt::devkit
