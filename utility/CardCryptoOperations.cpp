// Signing, verification, encryption and decryption through the card.
#include "InputFile.h"
#include "UtilityObject.h"
#include "ResultFile.h"
#include "ToBeSignedText.h"
#include "SystemText.h"

namespace qelt {
namespace {

std::string ToBeSigned(const TParams& param) {
  TSignUtility tbs;
  tbs.header = param.uinfo();
  tbs.body = param.src();
  return tbs.GetTBS();
}

}  // namespace

std::string TfrmQELTUtility::Sign() {
  std::string signature;
  CheckResult(toolkit_->SignData(static_cast<std::int16_t>(param_->signTyp()), ToBeSigned(*param_),
                                 param_->pin(), signature));
  if (param_->signfile().empty()) return signature;
  SaveResult(signature);
  return Ansi(u"簽章完成");
}

std::string TfrmQELTUtility::Verify() {
  const std::string signature = ReadInputFile(param_->signfile());
  std::string signer, signingTime;
  CheckResult(toolkit_->VerifySignedData(signature, ToBeSigned(*param_), signer, signingTime));
  return Ansi(u"驗章成功，簽章人員：") + signer + Ansi(u"，簽章時間：") + signingTime;
}

std::string TfrmQELTUtility::Encrypt() {
  // Kept after the operation, failed or not: later reads use this certificate.
  param_->set_certType(ctEncrypt);
  if (param_->signTyp() == stFile) param_->set_src(ReadInputFile(param_->src()));
  const std::string certificate = ReadCertificate();
  std::string cipher;
  CheckResult(toolkit_->EncryptData(param_->src(), certificate, cipher));
  if (param_->signfile().empty()) return cipher;
  SaveResult(cipher);
  return Ansi(u"加密完成");
}

std::string TfrmQELTUtility::Decrypt() {
  if (param_->signTyp() == stFile) param_->set_src(ReadInputFile(param_->signfile()));
  std::string plain;
  CheckResult(toolkit_->DecryptData(param_->src(), param_->pin(), plain));
  return Ansi(u"解密成功，密文：\r\n") + plain;
}

void TfrmQELTUtility::SaveResult(const std::string& value) { WriteResultFile(param_->signfile(), value); }

}  // namespace qelt
