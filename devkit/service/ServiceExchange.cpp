#include "ServiceExchange.h"

#include <algorithm>

#include "AsciiText.h"
#include "BufferedReader.h"
#include "Exception.h"
#include "ValidationJudge.h"

namespace qelt::devkit {
namespace {

struct Reply {
  int status;
  const char* reason;
  std::string body;
  std::string extraHeaders;
};

void Send(ByteStream& peer, const Reply& reply, std::chrono::milliseconds timeout) {
  const std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " " + reply.reason +
                           "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(reply.body.size()) +
                           "\r\nConnection: close\r\n" + reply.extraHeaders + "\r\n";
  peer.Write(head.data(), head.size(), timeout);
  peer.Write(reply.body.data(), reply.body.size(), timeout);
}

std::string Trim(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// Digits only, no sign, at most the cap; else -1.
long long ParseLength(const std::string& text, size_t cap) {
  if (text.empty() || text.size() > 12 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return -1;
  const long long value = std::stoll(text);
  return static_cast<size_t>(value) > cap ? static_cast<long long>(cap) + 1 : value;
}

Reply Answer(BufferedReader& reader, const RevokedSerials& revoked, const ServiceLimits& limits,
             std::string& requestLine) {
  if (!reader.ReadLine(requestLine, limits.idleTimeout)) return {400, "Bad Request", "<Error>no request</Error>", {}};
  const size_t space = requestLine.find(' ');
  const std::string method = requestLine.substr(0, space);
  std::string line;
  std::string contentLength;
  bool haveLength = false;
  while (true) {
    if (!reader.ReadLine(line, limits.idleTimeout)) return {400, "Bad Request", "<Error>incomplete request head</Error>", {}};
    if (line.empty()) break;
    const size_t colon = line.find(':');
    if (colon != std::string::npos && EqualsIgnoreCase(Trim(line.substr(0, colon)), "Content-Length") && !haveLength) {
      contentLength = Trim(line.substr(colon + 1));
      haveLength = true;
    }
  }
  if (method != "POST") return {405, "Method Not Allowed", "<Error>only POST</Error>", "Allow: POST\r\n"};
  if (!haveLength) return {411, "Length Required", "<Error>no Content-Length</Error>", {}};
  const long long length = ParseLength(contentLength, limits.maxBodyBytes);
  if (length < 0) return {400, "Bad Request", "<Error>bad Content-Length</Error>", {}};
  if (static_cast<size_t>(length) > limits.maxBodyBytes) return {413, "Payload Too Large", "<Error>request too large</Error>", {}};
  std::string body;
  if (!reader.ReadBytes(static_cast<uint64_t>(length), body, limits.idleTimeout))
    return {400, "Bad Request", "<Error>incomplete request body</Error>", {}};

  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const Judgement judgement = JudgeValidateRequest(body, revoked, now);
  Reply reply{judgement.status, judgement.status == 200 ? "OK" : "Bad Request", judgement.body, {}};
  requestLine += " -> " + judgement.verdict;
  return reply;
}

// What the peer sent, fit for a log line: control bytes become '?'.
std::string Printable(std::string text) {
  for (char& c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = '?';
  }
  return text;
}

}  // namespace

std::string ServeOneRequest(ByteStream& peer, const RevokedSerials& revoked, const ServiceLimits& limits) {
  std::string requestLine;
  const auto logged = [&requestLine] { return Printable(requestLine.empty() ? "(nothing)" : requestLine); };
  try {
    BufferedReader reader(peer);
    Reply reply{500, "Internal Server Error", {}, {}};
    try {
      reply = Answer(reader, revoked, limits, requestLine);
    } catch (const Exception& e) {
      if (e.Message() == "Read Timeout") return logged() + " (peer stalled: closed)";
      reply = {400, "Bad Request", "<Error>" + e.Message() + "</Error>", {}};
    }
    Send(peer, reply, limits.idleTimeout);
    return logged() + " " + std::to_string(reply.status);
  } catch (const std::exception& e) {
    return logged() + " (failed: " + Printable(e.what()) + ")";
  }
}

}  // namespace qelt::devkit
