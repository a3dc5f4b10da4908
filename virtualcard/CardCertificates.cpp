// The card's certificates and their information.
#include "CardOperations.h"

namespace qelt::card {

// Not performed yet: the first code of each operation's range.
std::int32_t GetCertificate(Profile&, const CallArgs&) { return 8001; }
std::int32_t GetCertificateInfo(Profile&, const CallArgs&) { return 8101; }

}  // namespace qelt::card
