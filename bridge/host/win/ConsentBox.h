// Asks the person whether a site may use the card: one box per origin at a
// time across the hosts of this logon, No by default, closing itself after a
// time-out or when input ends.
#pragma once
#include <functional>
#include <string>

namespace qelt::bridge {

enum class Answer {
  kYes,
  kNo,
  kNoAnswer,         // the time-out closed the box
  kInputEnded,       // the browser went away: the answer is dropped
  kSettledMeanwhile  // another host's box settled it while this one waited
};

class ConsentBox {
 public:
  // inputEnded is asked while the host waits or the box is open.
  ConsentBox(std::function<bool()> inputEnded, unsigned timeoutMs);

  // Waits for this origin's turn (another host may be asking about it);
  // stillUndecided, asked once the turn comes, says whether to ask at all;
  // remember stores a Yes or No before the turn passes to the next host.
  Answer Ask(const std::string& origin, const std::function<bool()>& stillUndecided,
             const std::function<void(bool yes)>& remember);

 private:
  Answer Show(const std::string& origin);
  std::function<bool()> inputEnded_;
  unsigned timeoutMs_;
};

}  // namespace qelt::bridge
