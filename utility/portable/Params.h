// The operation parameters record: callers fill it, then run an operation.
#pragma once
#include <cstdint>
#include <string>

namespace qelt {

enum TOpeation : std::uint8_t {
  otNone = 0, otSign = 1, otVerity = 2, otCertBase64 = 3, otCert = 4,
  otEncrypt = 5, otDecrypt = 6, otChkXKMS = 7, otChkPIN = 8,
};
enum TCertType : std::uint8_t { ccUknown = 0, ctSign = 1, ctEncrypt = 2 };
enum TSignType : std::uint8_t { stData = 0, stFile = 1, stDir = 2, stTime = 3 };

// Plain record: setters store values unchanged, texts are 8-bit ANSI text.
class TParams {
 public:
  virtual ~TParams() = default;
  TOpeation opt() const { return opt_; }
  void set_opt(TOpeation v) { opt_ = v; }
  TCertType certType() const { return certType_; }
  void set_certType(TCertType v) { certType_ = v; }
  TSignType signTyp() const { return signTyp_; }
  void set_signTyp(TSignType v) { signTyp_ = v; }
  const std::string& src() const { return src_; }
  void set_src(const std::string& v) { src_ = v; }
  const std::string& signfile() const { return signfile_; }
  void set_signfile(const std::string& v) { signfile_ = v; }
  const std::string& pin() const { return pin_; }
  void set_pin(const std::string& v) { pin_ = v; }
  // Overwrites the PIN's characters before it is emptied.
  void wipe_pin() {
    for (char& c : pin_) *static_cast<volatile char*>(&c) = '\0';
    pin_.clear();
  }
  const std::string& url() const { return url_; }
  void set_url(const std::string& v) { url_ = v; }
  const std::string& uinfo() const { return uinfo_; }
  void set_uinfo(const std::string& v) { uinfo_ = v; }
  // A proxy is used exactly when a proxy host is set; port and credentials do not count.
  bool useProsy() const { return !proxyServer_.empty(); }
  const std::string& proxyServer() const { return proxyServer_; }
  void set_proxyServer(const std::string& v) { proxyServer_ = v; }
  std::int32_t proxyPort() const { return proxyPort_; }
  void set_proxyPort(std::int32_t v) { proxyPort_ = v; }
  const std::string& proxyUserName() const { return proxyUserName_; }
  void set_proxyUserName(const std::string& v) { proxyUserName_ = v; }
  const std::string& proxyPassword() const { return proxyPassword_; }
  void set_proxyPassword(const std::string& v) { proxyPassword_ = v; }

 private:
  // Declaration order of the record's fields.
  std::string pin_;
  std::string src_;
  std::string signfile_;
  TCertType certType_ = ccUknown;
  TSignType signTyp_ = stData;
  TOpeation opt_ = otNone;
  std::string url_;
  std::string uinfo_;
  std::int32_t proxyPort_ = 0;
  std::string proxyUserName_;
  std::string proxyPassword_;
  std::string proxyServer_;
};

static_assert(sizeof(TOpeation) == 1 && sizeof(TCertType) == 1 && sizeof(TSignType) == 1,
              "enumerations are stored in one byte");

}  // namespace qelt
