#include "InputPump.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>

#include "Framing.h"
#include "HostLoop.h"
#include "Protocol.h"
#include "win/Resources.h"
#include "win/Thread.h"

namespace qelt::bridge {

// Owned by the pump and its thread together: the thread may still be
// blocked in a read when the pump goes; the process's end stops it.
struct InputPump::Shared {
  win::UniqueHandle input;
  win::UniqueHandle ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  PendingIds pending;
  std::mutex mutex;
  std::deque<Item> items;
  std::condition_variable space;
  std::size_t waitingBytes = 0;
  std::atomic<bool> ended{false};
  std::atomic<bool> accepting{false};
  std::atomic<bool> pinOperation{false};  // one read and not yet answered

  // A peer that sends faster than the control answers waits: the pipe holds
  // the rest, not this process's memory.
  static constexpr std::size_t kMaxWaiting = 256;

  void Push(Item item) {
    std::unique_lock<std::mutex> lock(mutex);
    if (item.end) {
      ended = true;
    } else {
      space.wait(lock, [this, &item] {
        return items.empty() || (items.size() < kMaxWaiting && waitingBytes + item.bytes <= kMaxWaitingBytes);
      });
    }
    waitingBytes += item.bytes;
    items.push_back(std::move(item));
    ::SetEvent(ready.get());
  }
};

namespace {

class HandleSource : public ByteSource {
 public:
  explicit HandleSource(HANDLE handle) : handle_(handle) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
    // A closed pipe, an error or a zero-byte read: each ends the input.
    if (!::ReadFile(handle_, buffer, chunk, &got, nullptr)) return 0;
    return got;
  }

 private:
  HANDLE handle_;
};

}  // namespace

// The next item from the input: a decoded frame or the end.
static InputPump::Item ReadItem(FrameReader& reader, bool hello, const std::atomic<bool>& accepting) {
  Frame frame = reader.Next();
  InputPump::Item item;
  if (frame.kind == Frame::Kind::kEnd) {
    item.end = true;
    item.exitCode = exit_code::kEndOfInput;
  } else if (frame.kind == Frame::Kind::kBroken) {
    item.end = true;
    item.exitCode = exit_code::kProtocol;
    item.reason = frame.reason;
  } else if (!hello && !accepting) {
    // Work for an origin nobody admitted yet: not even decoded.
    item.end = true;
    item.exitCode = exit_code::kProtocol;
    item.reason = "a frame before the hello was answered";
  } else {
    item.bytes = frame.payload.size();
    item.request = DecodeRequest(frame.payload);
  }
  return item;
}

InputPump::InputPump(HANDLE input) : shared_(std::make_shared<Shared>()) {
  shared_->input.reset(input);
  win::StartThread([shared = shared_] {
    try {
      HandleSource source(shared->input.get());
      FrameReader reader(source);
      for (bool hello = true;; hello = false) {
        Item item = ReadItem(reader, hello, shared->accepting);
        if (!item.end) {
          if (item.request.fatal) {
            item.end = true;
            item.exitCode = exit_code::kProtocol;
            item.reason = item.request.problem;
          } else if (item.request.id && item.request.kind != Request::Kind::kHello &&
                     item.request.kind != Request::Kind::kInvalid && !shared->pending.Claim(*item.request.id)) {
            item.duplicate = true;
          } else if (IsPinOperation(item.request)) {
            // Decided as it arrives; answered in its turn.
            item.holdsPin = !shared->pinOperation.exchange(true);
            item.busy = !item.holdsPin;
          }
        }
        const bool last = item.end;
        shared->Push(std::move(item));
        if (last) return;
      }
    } catch (const std::bad_alloc&) {
      EndOutOfMemory();
    }
  });
}

void InputPump::AcceptFrames() { shared_->accepting = true; }

InputPump::~InputPump() = default;

void InputPump::Answered(const Item& item) {
  if (item.request.id && !item.duplicate && item.request.kind != Request::Kind::kHello &&
      item.request.kind != Request::Kind::kInvalid)
    shared_->pending.Release(*item.request.id);
  if (item.holdsPin) shared_->pinOperation = false;
}

HANDLE InputPump::Ready() const { return shared_->ready.get(); }

bool InputPump::Ended() const { return shared_->ended; }

std::optional<InputPump::Item> InputPump::Take() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  if (shared_->items.empty()) return std::nullopt;
  Item item = std::move(shared_->items.front());
  shared_->items.pop_front();
  shared_->waitingBytes -= item.bytes;
  if (shared_->items.empty()) ::ResetEvent(shared_->ready.get());
  shared_->space.notify_one();
  return item;
}

}  // namespace qelt::bridge
