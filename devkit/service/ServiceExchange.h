// One exchange of the local validation service: read a request from the
// peer, answer it, and say what happened in one log line.
#pragma once
#include <windows.h>

#include <chrono>
#include <string>

#include "ByteStream.h"
#include "RevokedSerials.h"

namespace qelt::devkit {

struct ServiceLimits {
  std::chrono::milliseconds idleTimeout{10000};  // longest wait for the peer's next bytes
  size_t maxBodyBytes = 1024 * 1024;
};

// Answers one request. A POST to any path is a Validate request; so is one
// in a proxy's absolute form ("POST http://host/path"), which the service
// answers itself as that host would: pages reach it through the control's
// proxy settings. Never throws; returns the log line.
std::string ServeOneRequest(ByteStream& peer, const RevokedSerials& revoked, const ServiceLimits& limits);

}  // namespace qelt::devkit
