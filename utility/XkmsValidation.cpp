// Online certificate validation: the card's certificate, posted in an XKMS
// Validate request; a reply holding "NoMatch" confirms it.
#include <string>

#include "Base64.h"
#include "Exception.h"
#include "HttpPost.h"
#include "UtilityObject.h"
#include "SystemText.h"
#include "XkmsRequest.h"

namespace qelt {

std::string TfrmQELTUtility::CheckXKMS() {
  try {
    if (param_->url().empty()) throw Exception(Ansi(u"未設定驗證主機網址"));
    // The toolkit's certificate is Base64 text already; it goes out encoded once more.
    const std::string request = BuildValidateRequest(EncodeBase64(ReadCertificate()));
    HttpProxySettings proxy;
    if (param_->useProsy()) {
      proxy.server = param_->proxyServer();
      proxy.port = param_->proxyPort();
      proxy.userName = param_->proxyUserName();
      proxy.password = param_->proxyPassword();
    }
    const std::string reply = HttpPost(param_->url(), request, proxy);
    if (reply.find("NoMatch") == std::string::npos) throw Exception(Ansi(u"憑證已停用或已到期"));
    return Ansi(u"驗證成功");
  } catch (const EIdHTTPProtocolException& e) {
    // Every reply that is not a success fails, a redirect (302 included) too:
    // nothing was validated.
    throw Exception(Ansi(u"網路連線失敗，錯誤代碼 ") + std::to_string(e.Code()));
  } catch (const Exception& e) {
    throw Exception(Ansi(u"發生錯誤，錯誤訊息：") + e.Message());
  }
}

}  // namespace qelt
