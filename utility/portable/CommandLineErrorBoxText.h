// The text of the error box: a failure's message closed with a full stop.
#pragma once
#include <string>

#include "SplitString.h"

namespace qelt {

// Appends "." unless the message is empty or its last character (the lead
// byte of a double-byte one) sorts at or before ".".
std::string WithFullStop(const std::string& message, LeadByteTest isLeadByte = cp::IsLeadByte);

}  // namespace qelt
