#include "ServiceOptions.h"

#include "Exception.h"
#include "HttpUrl.h"

namespace qelt::devkit {

const char* const kServiceUsage =
    "Usage: QELTValidationService [--port N] [--host ADDRESS] [--revoked-file FILE]... [--revoked HEX]...\n"
    "                             [--ready-file FILE]\n"
    "Answers XKMS Validate requests on ADDRESS:N (default 127.0.0.1:8080), directly or as the proxy\n"
    "for any validation host. A certificate is valid while now lies within its validity period and\n"
    "its serial number (hex) is not listed by --revoked or in a --revoked-file (one a line, # comments).\n"
    "--port 0 takes any free port; --ready-file FILE receives the port once the service listens.\n";

ServiceOptions ParseServiceOptions(const std::vector<std::string>& args) {
  ServiceOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h" || name == "/?") {
      options.help = true;
      continue;
    }
    if (name != "--port" && name != "--host" && name != "--revoked-file" && name != "--revoked" &&
        name != "--ready-file")
      throw Exception("Unknown argument: " + name);
    if (i + 1 == args.size()) throw Exception(name + " needs a value");
    const std::string& value = args[++i];
    if (name == "--port") {
      options.port = ParseUrlPort(value);
    } else if (name == "--host") {
      options.host = value;
    } else if (name == "--revoked-file") {
      options.revokedFiles.push_back(value);
    } else if (name == "--revoked") {
      options.revoked.push_back(value);
    } else {
      options.readyFile = value;
    }
  }
  return options;
}

}  // namespace qelt::devkit
