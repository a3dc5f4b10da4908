#include "BufferedReader.h"

#include <algorithm>
#include <cstring>

#include "Exception.h"

namespace qelt {

namespace {
constexpr size_t kReadChunk = 32768;
}

bool BufferedReader::Fill(std::chrono::milliseconds timeout) {
  if (closed_) return false;
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const size_t oldSize = buffer_.size();
  buffer_.resize(oldSize + kReadChunk);
  size_t got = 0;
  try {
    got = stream_.Read(&buffer_[oldSize], kReadChunk, timeout);
  } catch (...) {
    buffer_.resize(oldSize);
    throw;
  }
  buffer_.resize(oldSize + got);
  if (got == 0) closed_ = true;
  return got != 0;
}

void BufferedReader::Consume(size_t count, std::string* out) {
  if (out) out->append(buffer_, start_, count);
  start_ += count;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
}

bool BufferedReader::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
  size_t searched = 0;
  for (;;) {
    const char* begin = buffer_.data() + start_;
    const void* lf = std::memchr(begin + searched, '\n', Buffered() - searched);
    if (lf) {
      const size_t length = static_cast<const char*>(lf) - begin;
      if (length > kMaxLineLength) throw Exception("Max line length exceeded.");
      line.assign(begin, length);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Consume(length + 1, nullptr);
      return true;
    }
    searched = Buffered();
    if (searched > kMaxLineLength) throw Exception("Max line length exceeded.");
    if (!Fill(timeout)) {
      Consume(Buffered(), nullptr);
      return false;
    }
  }
}

bool BufferedReader::ReadBytes(uint64_t count, std::string& out, std::chrono::milliseconds timeout) {
  while (count > 0) {
    if (Buffered() == 0 && !Fill(timeout)) return false;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(count, Buffered()));
    Consume(take, &out);
    count -= take;
  }
  return true;
}

bool BufferedReader::ReadToClose(std::string& out, size_t maxBytes, std::chrono::milliseconds timeout) {
  size_t taken = 0;
  do {
    if (Buffered() > maxBytes - taken) return false;
    taken += Buffered();
    Consume(Buffered(), &out);
  } while (Fill(timeout));
  return true;
}

}  // namespace qelt
