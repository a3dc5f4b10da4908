// Splitting 8-bit text at a one-character delimiter, double-byte aware.
#pragma once
#include <string>
#include <vector>

#include "CodePage.h"

namespace qelt {

using LeadByteTest = bool (*)(unsigned char);

// The pieces between delimiters; always one more than the delimiters found.
// A delimiter byte inside a double-byte character does not split, and a
// delimiter that is not exactly one byte never matches.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter,
                                     LeadByteTest isLeadByte = cp::IsLeadByte);

}  // namespace qelt
