// Reads and decodes frames on a thread of its own, so that the main thread,
// the control's apartment, stays free to process window messages while it
// waits, and notices the end of input while a box is open.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "PendingIds.h"
#include "Request.h"

namespace qelt::bridge {

class InputPump {
 public:
  struct Item {
    Request request;
    bool duplicate = false;  // its id was already pending
    bool busy = false;       // a PIN operation while another was waiting
    bool holdsPin = false;   // the PIN operation waiting: busy for others until answered
    bool end = false;        // no request: input ended, or broke (exitCode 2, reason)
    int exitCode = 0;
    std::string reason;
    std::size_t bytes = 0;  // the frame's length, while it waits
  };

  // Takes the input handle; starts reading at once.
  explicit InputPump(HANDLE input);
  ~InputPump();
  InputPump(const InputPump&) = delete;
  InputPump& operator=(const InputPump&) = delete;

  // Signalled while items wait.
  HANDLE Ready() const;
  // True once input has ended or broken, even before that item is taken.
  bool Ended() const;
  std::optional<Item> Take();
  // The item's id is free again: its call has been answered.
  void Answered(const Item& item);
  // The hello is answered: frames may follow. Until then any frame after the
  // first ends the input (exit 2) undecoded: a browser sends nothing before
  // it has the answer.
  void AcceptFrames();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace qelt::bridge
