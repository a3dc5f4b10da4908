// Reading a reply: status line, headers, interim 100 replies and the body
// in its framing.
#pragma once
#include <chrono>
#include <optional>
#include <string>

#include "BufferedReader.h"
#include "HttpSettings.h"

namespace qelt {

// What the exchange reads from a reply head. Only the headers it uses are
// kept, so a head of many short lines costs no memory per line.
struct HttpReplyHead {
  int code = -1;
  std::string statusLine;
  bool complete = false;  // false when the peer closed inside the header block
  // The first Content-Length and the first Transfer-Encoding header (names in
  // any case), trimmed, continuation lines joined by a blank; empty optional
  // when the head has none.
  std::optional<std::string> contentLength;
  std::optional<std::string> transferEncoding;
  bool hasLocation = false;  // some Location header has a non-empty value
};

// The second space-separated word as a decimal number, else -1.
int ParseStatusCode(const std::string& statusLine);

// Reads status line and headers, skipping interim 100 replies, in time linear
// in the size of what it reads. Throws
// "Connection Closed Gracefully." when the peer closes before a complete
// status line, and "Reply header too large" once the lines of all heads
// read (interim ones included) pass maxHeadBytes.
HttpReplyHead ReadReplyHead(BufferedReader& reader, std::chrono::milliseconds timeout,
                            size_t maxHeadBytes = HttpLimits::kDefaultMaxHeadBytes);

// Reads the body as the headers frame it: Content-Length, chunked, or up to
// the peer's close. An early close inside a Content-Length body ends the
// body; inside a chunked body it throws "Connection Closed Gracefully.".
// Throws "Reply body too large" once the body, in any framing, would pass
// maxBytes; a larger Content-Length fails before anything is read.
std::string ReadReplyBody(BufferedReader& reader, const HttpReplyHead& head, std::chrono::milliseconds timeout,
                          size_t maxBytes);

}  // namespace qelt
