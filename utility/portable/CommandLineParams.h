// KEY=VALUE arguments turned into a parameters record.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "Params.h"
#include "SplitString.h"

namespace qelt {

// Keys OPT, SRC, SIG, PIN, CERTTYP, SIGTYP, URL and UINFO, in any case of
// their letters; other arguments are ignored, a later key overwrites an
// earlier one. Numeric values keep their low 8 bits. Fails on a known key
// without "=" and on a numeric value that is not an integer.
std::unique_ptr<TParams> ParseArguments(const std::vector<std::string>& arguments,
                                        LeadByteTest isLeadByte = cp::IsLeadByte);

}  // namespace qelt
