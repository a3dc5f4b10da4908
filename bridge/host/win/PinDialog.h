// The PIN typed in the host's own dialog, never in a page: the site, what
// the PIN is for and, for signing, the text itself; one dialog of the hosts
// at a time (the consent box's turn), deaf to OK for its first second and
// while its field is empty, closing itself after a time-out, when input
// ends or after the third wrong PIN.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace qelt::bridge {

enum class PinPurpose { kSignIn, kSign, kPinCheck };

// Texts are UTF-8; origin is normalised ("scheme://host[:port]"); text is
// what kSign signs; holder the card holder's name, empty when unknown.
struct PinRequest {
  std::string origin;
  PinPurpose purpose;
  std::string text;
  std::string holder;
};

enum class PinResult {
  kDone,
  kCancelled,
  kTimedOut,      // also: the dialog could not be shown
  kInputEnded,    // the browser went away, while waiting for the turn or with the dialog open
  kTooManyWrong,  // the third wrong PIN in one dialog
};

// What the caller's check of one PIN answers.
struct PinTry {
  bool wrongPin;
};

class PinDialog {
 public:
  // inputEnded is asked while the host waits for its turn and about every
  // 50 ms while the dialog is open. owner: the browser's window
  // (--parent-window), or null for a dialog of its own, topmost.
  PinDialog(std::function<bool()> inputEnded, HWND owner, unsigned timeoutMs = 120000);

  // Waits for the dialog turn, shows the dialog, calls tryPin with each PIN
  // the person confirms (a wide string the dialog wipes after the call;
  // the field is emptied before); kDone once tryPin answered !wrongPin.
  PinResult Ask(const PinRequest& request, const std::function<PinTry(std::wstring& pin)>& tryPin);

 private:
  std::function<bool()> inputEnded_;
  HWND owner_;
  unsigned timeoutMs_;
};

}  // namespace qelt::bridge
