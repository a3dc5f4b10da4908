// Asks the person whether a site may use the card: one box per origin at a
// time across the hosts of this logon, and one dialog of the hosts at a time;
// No by default, deaf for its first second, closing itself after a time-out
// or when input ends.
#pragma once
#include <windows.h>

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

// The box's text for a normalised origin ("scheme://host[:port]"), UTF-8:
// the host name on a line of its own above the full origin.
std::string ConsentText(const std::string& origin);
// The host name of a normalised origin; an IPv6 address keeps its brackets.
std::string OriginHost(const std::string& origin);

class ConsentBox {
 public:
  // inputEnded is asked while the host waits or the box is open. owner: the
  // browser's window the box belongs to (--parent-window), or null for a box
  // of its own, topmost and in the foreground.
  ConsentBox(std::function<bool()> inputEnded, unsigned timeoutMs, HWND owner = nullptr);

  // Waits for this origin's turn (another host may be asking about it), then
  // for the turn of the hosts' dialogs; stillUndecided, asked after each
  // turn, says whether to ask at all; remember stores a Yes or No before
  // the turns pass to the next host.
  Answer Ask(const std::string& origin, const std::function<bool()>& stillUndecided,
             const std::function<void(bool yes)>& remember);

 private:
  Answer Show(const std::string& origin);
  std::function<bool()> inputEnded_;
  unsigned timeoutMs_;
  HWND owner_;
};

}  // namespace qelt::bridge
