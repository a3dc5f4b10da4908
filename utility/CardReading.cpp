// Card reading: certificate, card number and certificate information.
#include "Exception.h"
#include "QeltUtilityForm.h"

namespace qelt {

// Placeholders until card reading lands.
void TfrmQELTUtility::ReadCertAndCardNo(std::string&, std::string&) { throw Exception("card reading is not built yet"); }
std::string TfrmQELTUtility::ReadCertificate() { throw Exception("card reading is not built yet"); }
std::unique_ptr<TCardInfo> TfrmQELTUtility::ReadCardInfo() { throw Exception("card reading is not built yet"); }
std::unique_ptr<TCardInfo> TQeltUtility::ParseCardInfo(const std::string&, const std::string&) const {
  throw Exception("card reading is not built yet");
}

}  // namespace qelt
