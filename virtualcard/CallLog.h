// The card's call log (profile key "log"): one UTF-8 line per toolkit call,
// so tests see exactly the texts and PIN a caller handed the card.
#pragma once
#include <oaidl.h>

#include <string>

#include "CardOperations.h"

namespace qelt::card {

// The line for a call: the method's name, then each input argument, texts
// as JSON strings and numbers bare, tab-separated.
std::string CallLine(const Method& method, const DISPPARAMS& params);

// Appends the call's line to the profile's log file; no "log" key, no log.
void LogCall(const Profile& card, const Method& method, const DISPPARAMS& params);

}  // namespace qelt::card
