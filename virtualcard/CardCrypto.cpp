// Signatures and envelopes made with the card's keys.
#include "CardOperations.h"

namespace qelt::card {

// Not performed yet: the first code of each operation's range.
std::int32_t SignData(Profile&, const CallArgs&) { return 5001; }
std::int32_t VerifySignedData(Profile&, const CallArgs&) { return 6001; }
std::int32_t EncryptData(Profile&, const CallArgs&) { return 10001; }
std::int32_t DecryptData(Profile&, const CallArgs&) { return 11001; }

}  // namespace qelt::card
