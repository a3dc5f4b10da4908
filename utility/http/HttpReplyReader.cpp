#include "HttpReplyReader.h"

#include <cstdint>
#include <limits>

#include "Exception.h"
#include "HttpUrl.h"

namespace qelt {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

[[noreturn]] void ThrowClosed() { throw Exception("Connection Closed Gracefully."); }

[[noreturn]] void ThrowTooLarge() { throw Exception("Reply body too large"); }

// Takes one line out of what the reply's heads may hold in all.
void Spend(size_t& budget, const std::string& line) {
  if (line.size() + 1 > budget) throw Exception("Reply header too large");
  budget -= line.size() + 1;
}

// Decimal digits only; false for anything else or a value past int64.
bool ParseDecimal(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (value > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10) return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// The chunk size: the text before the first space as hexadecimal; anything
// that is not a hexadecimal number (an extension after ";" included) is 0.
uint64_t ParseChunkSize(const std::string& line) {
  const std::string text = line.substr(0, line.find(' '));
  uint64_t size = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return 0;
    if (size > (std::numeric_limits<uint64_t>::max() >> 4)) return 0;
    size = (size << 4) | static_cast<uint64_t>(digit);
  }
  return size;
}

std::string ReadChunked(BufferedReader& reader, int timeoutMs, size_t maxBytes) {
  std::string body;
  std::string line;
  for (;;) {
    if (!reader.ReadLine(line, timeoutMs)) ThrowClosed();
    const uint64_t size = ParseChunkSize(line);
    if (size == 0) break;
    if (size > maxBytes - body.size()) ThrowTooLarge();
    if (!reader.ReadBytes(size, body, timeoutMs)) ThrowClosed();
    if (!reader.ReadLine(line, timeoutMs)) ThrowClosed();
  }
  if (!reader.ReadLine(line, timeoutMs)) ThrowClosed();
  return body;
}

HttpReplyHead ReadOneHead(BufferedReader& reader, int timeoutMs, size_t& budget) {
  HttpReplyHead head;
  if (!reader.ReadLine(head.statusLine, timeoutMs)) ThrowClosed();
  Spend(budget, head.statusLine);
  head.code = ParseStatusCode(head.statusLine);

  std::string line;
  while (reader.ReadLine(line, timeoutMs)) {
    Spend(budget, line);
    if (line.empty()) {
      head.complete = true;
      break;
    }
    if (IsBlank(line[0])) {
      if (!head.headers.empty()) {
        std::string& value = head.headers.back().second;
        value = Trim(value + " " + Trim(line));
      }
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
      head.headers.emplace_back(Trim(line), std::string());
    } else {
      head.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
  }
  return head;
}

}  // namespace

const std::string* HttpReplyHead::Find(const std::string& name) const {
  for (const auto& header : headers) {
    if (EqualsIgnoreCase(header.first, name)) return &header.second;
  }
  return nullptr;
}

int ParseStatusCode(const std::string& statusLine) {
  size_t begin = statusLine.find_first_not_of(' ');
  if (begin == std::string::npos) return -1;
  begin = statusLine.find(' ', begin);
  if (begin == std::string::npos) return -1;
  begin = statusLine.find_first_not_of(' ', begin);
  if (begin == std::string::npos) return -1;
  std::string word = statusLine.substr(begin, statusLine.find(' ', begin) - begin);
  // A decimal integer may carry its sign.
  const bool negative = !word.empty() && word[0] == '-';
  if (!word.empty() && (word[0] == '-' || word[0] == '+')) word.erase(0, 1);
  int64_t value = 0;
  if (!ParseDecimal(word, value)) return -1;
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) return -1;
  return static_cast<int>(value);
}

HttpReplyHead ReadReplyHead(BufferedReader& reader, int timeoutMs, size_t maxHeadBytes) {
  // One budget for the real head and every interim reply before it, so a
  // peer that never stops sending header lines or 100 replies cannot hold us.
  size_t budget = maxHeadBytes;
  HttpReplyHead head = ReadOneHead(reader, timeoutMs, budget);
  while (head.code == 100) head = ReadOneHead(reader, timeoutMs, budget);
  return head;
}

std::string ReadReplyBody(BufferedReader& reader, const HttpReplyHead& head, int timeoutMs,
                          size_t maxBytes) {
  std::string body;
  const std::string* lengthText = head.Find("Content-Length");
  int64_t length = -1;
  const bool hasLength = lengthText && ParseDecimal(*lengthText, length);

  if (hasLength && length > 0) {
    if (static_cast<uint64_t>(length) > maxBytes) ThrowTooLarge();
    reader.ReadBytes(static_cast<uint64_t>(length), body, timeoutMs);
    return body;
  }
  const std::string* encoding = head.Find("Transfer-Encoding");
  if (encoding && encoding->find("chunked") != std::string::npos) {
    return ReadChunked(reader, timeoutMs, maxBytes);
  }
  if (!hasLength && !reader.ReadToClose(body, maxBytes, timeoutMs)) ThrowTooLarge();
  return body;
}

}  // namespace qelt
