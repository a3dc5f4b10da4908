// The card information record: eleven texts read from the card.
#pragma once
#include <string>

namespace qelt {

class TCardInfo {
 public:
  virtual ~TCardInfo() = default;

  const std::string& email() const { return email_; }
  void set_email(const std::string& v) { email_ = v; }
  const std::string& name() const { return name_; }
  void set_name(const std::string& v) { name_ = v; }
  const std::string& issuerName() const { return issuerName_; }
  void set_issuerName(const std::string& v) { issuerName_ = v; }
  const std::string& subjectName() const { return subjectName_; }
  void set_subjectName(const std::string& v) { subjectName_ = v; }
  const std::string& notBefore() const { return notBefore_; }
  void set_notBefore(const std::string& v) { notBefore_ = v; }
  const std::string& idno() const { return idno_; }
  void set_idno(const std::string& v) { idno_ = v; }
  const std::string& certSerialNumber() const { return certSerialNumber_; }
  void set_certSerialNumber(const std::string& v) { certSerialNumber_ = v; }
  const std::string& notAfter() const { return notAfter_; }
  void set_notAfter(const std::string& v) { notAfter_ = v; }
  const std::string& serialNumber() const { return serialNumber_; }
  void set_serialNumber(const std::string& v) { serialNumber_ = v; }
  const std::string& icCardId() const { return icCardId_; }
  void set_icCardId(const std::string& v) { icCardId_ = v; }
  const std::string& usage() const { return usage_; }
  void set_usage(const std::string& v) { usage_ = v; }

  // "1" to "4" for the first certificate authority named in the issuer, else empty.
  std::string GetCardIssType() const;
  // The ten-line text dump (the card number is not part of it).
  std::string AsText() const;

 private:
  std::string email_, name_, issuerName_, subjectName_, notBefore_, idno_, certSerialNumber_,
      notAfter_, serialNumber_, icCardId_, usage_;
};

}  // namespace qelt
