#include "HttpReply.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "Exception.h"

namespace qelt {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Header names compare without regard to ASCII letter case.
bool NameIs(std::string_view name, std::string_view wanted) {
  if (name.size() != wanted.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != wanted[i]) return false;
  }
  return true;
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
uint64_t ParseChunkSize(std::string_view line) {
  const std::string_view text = line.substr(0, line.find(' '));
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

std::string ReadChunked(BufferedReader& reader, std::chrono::milliseconds timeout, size_t maxBytes) {
  std::string body;
  std::string line;
  for (;;) {
    if (!reader.ReadLine(line, timeout)) ThrowClosed();
    const uint64_t size = ParseChunkSize(line);
    if (size == 0) break;
    if (size > maxBytes - body.size()) ThrowTooLarge();
    if (!reader.ReadBytes(size, body, timeout)) ThrowClosed();
    if (!reader.ReadLine(line, timeout)) ThrowClosed();
  }
  if (!reader.ReadLine(line, timeout)) ThrowClosed();
  return body;
}

// Takes a header line: keeps what the exchange reads, and returns the value
// its continuation lines extend (nullptr when that value is not kept).
std::string* TakeHeader(HttpReplyHead& head, std::string_view line, bool& inLocation) {
  const size_t colon = line.find(':');
  const std::string_view name = Trim(line.substr(0, colon));
  std::optional<std::string>* kept = nullptr;
  if (NameIs(name, "content-length")) {
    kept = &head.contentLength;
  } else if (NameIs(name, "transfer-encoding")) {
    kept = &head.transferEncoding;
  }
  inLocation = !kept && NameIs(name, "location");
  if (!kept && !inLocation) return nullptr;

  const std::string_view value =
      colon == std::string_view::npos ? std::string_view() : Trim(line.substr(colon + 1));
  if (inLocation) {
    if (!value.empty()) head.hasLocation = true;
    return nullptr;
  }
  if (kept->has_value()) return nullptr;  // only the first of a name counts
  kept->emplace(value);
  return &**kept;
}

// Each line is looked at once and a continuation line is appended in place,
// so the time is linear in the size of the head.
HttpReplyHead ReadOneHead(BufferedReader& reader, std::chrono::milliseconds timeout, size_t& budget) {
  HttpReplyHead head;
  if (!reader.ReadLine(head.statusLine, timeout)) ThrowClosed();
  Spend(budget, head.statusLine);
  head.code = ParseStatusCode(head.statusLine);

  std::string line;
  std::string* folded = nullptr;  // the kept value the next continuation line extends
  bool inLocation = false;        // whether that line belongs to a Location header
  while (reader.ReadLine(line, timeout)) {
    Spend(budget, line);
    if (line.empty()) {
      head.complete = true;
      break;
    }
    if (!IsBlank(line[0])) {
      folded = TakeHeader(head, line, inLocation);
      continue;
    }
    // A continuation line: the previous header goes on after a blank.
    const std::string_view more = Trim(line);
    if (more.empty()) continue;
    if (inLocation) head.hasLocation = true;
    if (folded) {
      if (!folded->empty()) folded->push_back(' ');
      folded->append(more);
    }
  }
  return head;
}

}  // namespace

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

HttpReplyHead ReadReplyHead(BufferedReader& reader, std::chrono::milliseconds timeout, size_t maxHeadBytes) {
  // One budget for the real head and every interim reply before it, so a
  // peer that never stops sending header lines or 100 replies cannot hold us.
  size_t budget = maxHeadBytes;
  HttpReplyHead head = ReadOneHead(reader, timeout, budget);
  while (head.code == 100) head = ReadOneHead(reader, timeout, budget);
  return head;
}

std::string ReadReplyBody(BufferedReader& reader, const HttpReplyHead& head, std::chrono::milliseconds timeout,
                          size_t maxBytes) {
  std::string body;
  int64_t length = -1;
  const bool hasLength = head.contentLength && ParseDecimal(*head.contentLength, length);

  if (hasLength && length > 0) {
    if (static_cast<uint64_t>(length) > maxBytes) ThrowTooLarge();
    reader.ReadBytes(static_cast<uint64_t>(length), body, timeout);
    return body;
  }
  if (head.transferEncoding && head.transferEncoding->find("chunked") != std::string::npos) {
    return ReadChunked(reader, timeout, maxBytes);
  }
  if (!hasLength && !reader.ReadToClose(body, maxBytes, timeout)) ThrowTooLarge();
  return body;
}

}  // namespace qelt
