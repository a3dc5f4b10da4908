// Card reading: certificate, card number and certificate information.
#include "CodePage.h"
#include "RocDate.h"
#include "UtilityObject.h"
#include "XMLTool.h"

namespace qelt {

void TfrmQELTUtility::ReadCertAndCardNo(std::string& cert, std::string& cardNo) {
  std::string certOut, cardNoOut;
  CheckResult(toolkit_->GetCertificate(static_cast<std::int16_t>(param_->certType()), certOut, cardNoOut));
  cert = std::move(certOut);
  cardNo = std::move(cardNoOut);
}

std::string TfrmQELTUtility::ReadCertificate() {
  std::string cert, cardNo;
  ReadCertAndCardNo(cert, cardNo);
  return cert;
}

std::unique_ptr<TCardInfo> TfrmQELTUtility::ReadCardInfo() {
  std::string cert, cardNo;
  ReadCertAndCardNo(cert, cardNo);
  std::string info;
  CheckResult(toolkit_->GetCertificateInfo(cert, info));
  return utility_->ParseCardInfo(info, cardNo);
}

std::unique_ptr<TCardInfo> TQeltUtility::ParseCardInfo(const std::string& info, const std::string& cardNo) const {
  auto record = std::make_unique<TCardInfo>();
  TXMLTool navigator;
  // The toolkit's text has no declaration of its own; it is Big5 like every text here.
  navigator.LoadFromText("<?xml version=\"1.0\" encoding=\"Big5\"?>" + info);
  navigator.GetValue(u"/CertBaseInfo//");  // sets the base path; the value is not used

  auto value = [&navigator](const char16_t* name) {
    const XmlValue v = navigator.GetValue(name);
    return v.isNull ? std::string() : cp::Utf16ToAnsi(v.text);
  };
  record->set_issuerName(value(u"IssuerName"));
  record->set_subjectName(value(u"Subjectname"));
  record->set_name(value(u"Name"));
  record->set_idno(value(u"Idno"));
  record->set_usage(value(u"Usage"));
  record->set_email(value(u"Email"));
  record->set_notBefore(ToRocDate(value(u"notBefore")));
  record->set_notAfter(ToRocDate(value(u"notAfter")));
  record->set_certSerialNumber(value(u"CertSerialNnumber"));
  record->set_serialNumber(value(u"SerialNumber"));
  record->set_icCardId(cardNo);
  return record;
}

}  // namespace qelt
