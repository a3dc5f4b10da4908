// Validation end to end: the virtual card's certificate posted to the local
// validation service, directly, through tinyproxy, and against odd replies.
// Runs inside tools/servers/with_server.sh, which provides the ports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Exception.h"
#include "UtilityObject.h"
#include "TestSupport.h"
#include "win/Resources.h"

using namespace qelt;
using qelt::test::Ansi;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Port(const char* name) {
  const std::string port = Env(name);
  if (port.empty()) ADD_FAILURE() << name << " is not set: run through with_server.sh";
  return port;
}

std::wstring CardProfile(const char* card) {
  return test::WinPath(std::string(QELT_CARDS_DIR) + "/" + card + "/card.profile");
}

class CheckXkms : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::RegisterVirtualCard(); }
  void TearDown() override {
    SetEnvironmentVariableW(L"QELT_CARD_PROFILE", nullptr);
    EXPECT_TRUE(boxes_.Boxes().empty());
  }

  // Validates the card's signing certificate; the outcome text or the failure's message.
  std::string Validate(const char* card, const std::string& url, const char* extraProfile = nullptr) {
    SetEnvironmentVariableW(L"QELT_CARD_PROFILE", CardProfile(card).c_str());
    std::unique_ptr<test::CardProfile> injected;
    if (extraProfile) injected = std::make_unique<test::CardProfile>(extraProfile);
    TfrmQELTUtility utility;
    utility.param()->set_certType(ctSign);
    utility.param()->set_url(url);
    utility.param()->set_proxyServer(proxyServer_);
    utility.param()->set_proxyPort(proxyPort_);
    utility.param()->set_proxyUserName(proxyUser_);
    utility.param()->set_proxyPassword(proxyPassword_);
    try {
      const std::string result = utility.CheckXKMS();
      return "ok:" + result;
    } catch (const Exception& e) {
      return e.Message();
    }
  }

  std::string ServiceUrl() { return "http://127.0.0.1:" + Port("QELT_VALIDATION_PORT") + "/xkms/XKMS"; }
  std::string ScriptUrl(const std::string& path) { return "http://localhost:" + Port("QELT_SCRIPT_PORT") + path; }

  win::ComScope com_;
  test::MessageBoxWatch boxes_;
  std::string proxyServer_, proxyUser_, proxyPassword_;
  std::int32_t proxyPort_ = 0;
};

const std::u16string kFailed = u"發生錯誤，錯誤訊息：";
const std::u16string kNetwork = u"網路連線失敗，錯誤代碼 ";

TEST_F(CheckXkms, TheServiceDecides) {
  EXPECT_EQ(Validate("citizen", ServiceUrl()), "ok:" + Ansi(u"驗證成功"));
  EXPECT_EQ(Validate("revoked", ServiceUrl()), Ansi(kFailed + u"憑證已停用或已到期"));
  EXPECT_EQ(Validate("expired", ServiceUrl()), Ansi(kFailed + u"憑證已停用或已到期"));
}

TEST_F(CheckXkms, FailuresBeforeTheExchangeCarryTheirReason) {
  // No address: neither the card nor the network is touched.
  EXPECT_EQ(Validate("citizen", "", "fail.GetCertificate=8003\n"), Ansi(kFailed + u"未設定驗證主機網址"));
  EXPECT_EQ(Validate("citizen", ServiceUrl(), "fail.GetCertificate=8003\n"),
            Ansi(kFailed + u"讀取IC卡憑證內容失敗"));
  const std::string refused = Validate("citizen", "http://127.0.0.1:" + Port("QELT_CLOSED_PORT") + "/xkms/XKMS");
  EXPECT_EQ(refused.rfind(Ansi(kFailed) + "Socket Error # 10061\r\n", 0), 0u) << refused;
}

TEST_F(CheckXkms, RepliesThatAreNotASuccessFailWithTheirCode) {
  // A redirect validates nothing: 302 fails like 301 and 303.
  for (const char* code : {"301", "302", "303", "404", "500"})
    EXPECT_EQ(Validate("citizen", ScriptUrl(std::string("/reply/") + code + "/NoMatch")),
              Ansi(kNetwork) + code);
  // "NoMatch" is matched exactly, anywhere in the body.
  EXPECT_EQ(Validate("citizen", ScriptUrl("/reply/200/<x><!--NoMatch--></x>")), "ok:" + Ansi(u"驗證成功"));
  EXPECT_EQ(Validate("citizen", ScriptUrl("/reply/200/NOMATCH nomatch")), Ansi(kFailed + u"憑證已停用或已到期"));
  EXPECT_EQ(Validate("citizen", ScriptUrl("/reply/200")), Ansi(kFailed + u"憑證已停用或已到期"));
}

TEST_F(CheckXkms, ThroughAProxyThatDemandsCredentials) {
  proxyServer_ = "localhost";
  proxyPort_ = std::atoi(Port("QELT_PROXY_PORT").c_str());
  // This proxy answers 407 right after the request head and closes without
  // reading the body; when its reset overtakes the answer, the socket layer
  // has discarded the 407 and only the reset is left to report. Either way
  // the validation fails and says why.
  const std::string refused = Validate("citizen", ServiceUrl());
  EXPECT_TRUE(refused == Ansi(kNetwork) + "407" ||
              refused.rfind(Ansi(kFailed) + "Socket Error # 10054\r\n", 0) == 0)
      << refused;
  proxyUser_ = Env("QELT_PROXY_USER");
  proxyPassword_ = Env("QELT_PROXY_PASSWORD");
  EXPECT_EQ(Validate("citizen", ServiceUrl()), "ok:" + Ansi(u"驗證成功"));
  EXPECT_EQ(Validate("revoked", ServiceUrl()), Ansi(kFailed + u"憑證已停用或已到期"));
  // A proxy set without a port goes to port 0 and fails at the socket layer.
  proxyPort_ = 0;
  const std::string portZero = Validate("citizen", ServiceUrl());
  EXPECT_EQ(portZero.rfind(Ansi(kFailed) + "Socket Error # ", 0), 0u) << portZero;
  // An empty server turns the proxy off whatever else is set.
  proxyServer_ = "";
  EXPECT_EQ(Validate("citizen", ServiceUrl()), "ok:" + Ansi(u"驗證成功"));
}

}  // namespace
