// Times HttpPost against WinHTTP on the same Validate request to the loopback
// validation service, interleaved, and checks that 1,000 HttpPost exchanges
// leave no handles or memory behind.
//
// Usage: http_post_benchmark CERT_FILE [ROUNDS] [EXCHANGES]
// The service's port comes from QELT_VALIDATION_PORT.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "Timing.h"
#include "Base64.h"
#include "Exception.h"
#include "HttpPost.h"
#include "ProcessUsage.h"
#include "WinHttpPost.h"
#include "XkmsRequest.h"

namespace qelt::bench {
namespace {

constexpr int kWarmUpRounds = 20;
// Over 1,000 exchanges, more than this means some 32 bytes or more kept by
// each; the heap commits whole pages, so a few pages either way are noise.
constexpr size_t kMemoryToleranceBytes = 32 * 1024;


std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw Exception("Cannot open " + path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void PrintTimes(const char* name, const std::vector<double>& ms) {
  std::printf("  %-8s  mean %7.3f ms  median %7.3f  p90 %7.3f  p99 %7.3f  max %7.3f\n", name,
              Mean(ms), Percentile(ms, 0.5), Percentile(ms, 0.9), Percentile(ms, 0.99),
              Percentile(ms, 1.0));
}

struct Target {
  uint16_t port;
  std::string url;
  std::string request;
  std::string expectedReply;  // HttpPost's first reply; WinHTTP must match it
};

void PostOurs(const Target& target) {
  const std::string reply = HttpPost(target.url, target.request, {});
  if (reply != target.expectedReply) throw Exception("HttpPost: unexpected reply: " + reply);
}

void PostWinHttp(const Target& target) {
  const WinHttpReply reply = WinHttpPost(L"127.0.0.1", target.port, L"/xkms/XKMS", target.request);
  if (reply.status != 200 || reply.body != target.expectedReply) {
    throw Exception("WinHTTP: unexpected reply " + std::to_string(reply.status) + ": " + reply.body);
  }
}

long long Growth(size_t before, size_t after) {
  return static_cast<long long>(after) - static_cast<long long>(before);
}

void PrintUsage(const char* name, size_t before, size_t after) {
  std::printf("  %-32s %10zu -> %10zu  (%+lld)\n", name, before, after, Growth(before, after));
}

// True when the exchanges left no handle and no memory beyond the tolerance.
bool CheckNoGrowth(const Target& target, int exchanges) {
  const ProcessUsage before = CurrentProcessUsage();
  for (int i = 0; i < exchanges; ++i) PostOurs(target);
  const ProcessUsage after = CurrentProcessUsage();

  std::printf("%d HttpPost exchanges:\n", exchanges);
  PrintUsage("handles (GetProcessHandleCount)", before.reportedHandles, after.reportedHandles);
  PrintUsage("handles (open, counted)", before.openHandles, after.openHandles);
  PrintUsage("committed bytes", before.committedBytes, after.committedBytes);
  PrintUsage("working set bytes", before.workingSetBytes, after.workingSetBytes);
  const bool noGrowth = Growth(before.reportedHandles, after.reportedHandles) <= 0 &&
                        Growth(before.openHandles, after.openHandles) <= 0 &&
                        Growth(before.committedBytes, after.committedBytes) <=
                            static_cast<long long>(kMemoryToleranceBytes);
  std::printf("  growth: %s (handles must not grow, committed bytes by at most %zu)\n",
              noGrowth ? "none" : "FOUND", kMemoryToleranceBytes);
  return noGrowth;
}

// Alternates which client goes first, so neither gains from the other's
// warm caches or the service's rhythm.
void CompareClients(const Target& target, int rounds) {
  for (int i = 0; i < kWarmUpRounds; ++i) {
    PostWinHttp(target);
    PostOurs(target);
  }
  std::vector<double> ours, theirs;
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      ours.push_back(TimeMs([&] { PostOurs(target); }));
      theirs.push_back(TimeMs([&] { PostWinHttp(target); }));
    } else {
      theirs.push_back(TimeMs([&] { PostWinHttp(target); }));
      ours.push_back(TimeMs([&] { PostOurs(target); }));
    }
  }
  const double ratio = Mean(ours) / Mean(theirs);
  std::printf("%d interleaved rounds (WinHTTP: new session and connection per request):\n", rounds);
  PrintTimes("HttpPost", ours);
  PrintTimes("WinHTTP", theirs);
  std::printf("  ratio HttpPost/WinHTTP (means) %.3f  (medians %.3f)  target <= 1.0: %s\n", ratio,
              Percentile(ours, 0.5) / Percentile(theirs, 0.5), ratio <= 1.0 ? "met" : "NOT met");
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CERT_FILE [ROUNDS] [EXCHANGES]\n", argv[0]);
    return 2;
  }
  const char* portText = std::getenv("QELT_VALIDATION_PORT");
  const int port = portText ? std::atoi(portText) : 0;
  if (port <= 0 || port > 65535) {
    std::fprintf(stderr, "QELT_VALIDATION_PORT is not set: run under tools/servers/with_server.sh\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;
  const int exchanges = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000;

  Target target;
  target.port = static_cast<uint16_t>(port);
  target.url = "http://127.0.0.1:" + std::to_string(port) + "/xkms/XKMS";
  // As the validation operation sends it: the certificate text Base64-encoded.
  target.request = BuildValidateRequest(EncodeBase64(ReadFile(argv[1])));
  target.expectedReply = HttpPost(target.url, target.request, {});
  if (target.expectedReply.find("NoMatch") == std::string::npos) {
    std::fprintf(stderr, "the service did not find the certificate valid: %s\n",
                 target.expectedReply.c_str());
    return 1;
  }
  std::printf("POST of a %zu-byte Validate request to %s (reply %zu bytes)\n",
              target.request.size(), target.url.c_str(), target.expectedReply.size());

  // Before any WinHTTP call, so its own threads and handles stay out of the count.
  for (int i = 0; i < kWarmUpRounds; ++i) PostOurs(target);
  const bool noGrowth = CheckNoGrowth(target, exchanges);
  CompareClients(target, rounds);
  std::fflush(stdout);
  return noGrowth ? 0 : 1;
}

}  // namespace
}  // namespace qelt::bench

int main(int argc, char** argv) {
  try {
    return qelt::bench::Run(argc, argv);
  } catch (const qelt::Exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.Message().c_str());
    return 1;
  }
}
