// Signing, verification, encryption and decryption through the card.
#include "Exception.h"
#include "QeltUtilityForm.h"

namespace qelt {

// Placeholders until the card operations land.
std::string TfrmQELTUtility::Sign() { throw Exception("signing is not built yet"); }
std::string TfrmQELTUtility::Verify() { throw Exception("verification is not built yet"); }
std::string TfrmQELTUtility::Encrypt() { throw Exception("encryption is not built yet"); }
std::string TfrmQELTUtility::Decrypt() { throw Exception("decryption is not built yet"); }
void TfrmQELTUtility::SaveResult(const std::string&) { throw Exception("result files are not built yet"); }

}  // namespace qelt
