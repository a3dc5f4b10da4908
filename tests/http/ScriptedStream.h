// A ByteStream that plays back reply pieces and records what was written,
// for driving the HTTP framing without sockets.
#pragma once
#include <string>
#include <vector>

#include "ByteStream.h"
#include "Exception.h"

namespace qelt::test {

class ScriptedStream : public ByteStream {
 public:
  // Each piece is handed out by its own Read (split further if the reader
  // asks for less).
  ScriptedStream& Then(std::string piece) {
    steps_.push_back({false, std::move(piece)});
    return *this;
  }
  // The next Read times out.
  ScriptedStream& Stall() {
    steps_.push_back({true, {}});
    return *this;
  }

  size_t Read(char* buffer, size_t capacity, std::chrono::milliseconds timeout) override {
    readTimeouts.push_back(static_cast<int>(timeout.count()));
    if (next_ == steps_.size()) return 0;  // peer closed
    Step& step = steps_[next_];
    if (step.stall) {
      ++next_;
      throw Exception("Read Timeout");
    }
    const size_t n = std::min(capacity, step.data.size());
    step.data.copy(buffer, n);
    step.data.erase(0, n);
    if (step.data.empty()) ++next_;
    return n;
  }

  void Write(const char* data, size_t size, std::chrono::milliseconds timeout) override {
    writeTimeouts.push_back(static_cast<int>(timeout.count()));
    if (writes.size() == failWritesFrom) throw Exception("Socket Error # 10054");
    writes.emplace_back(data, size);
  }

  std::vector<std::string> writes;
  size_t failWritesFrom = static_cast<size_t>(-1);  // the write that fails, counted from 0
  std::vector<int> readTimeouts;  // in milliseconds
  std::vector<int> writeTimeouts;

 private:
  struct Step {
    bool stall;
    std::string data;
  };
  std::vector<Step> steps_;
  size_t next_ = 0;
};

}  // namespace qelt::test
