// checkXKMS through the control against the validation service on the
// default URL (run by with_port80_service.sh inside with_server.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "CardFiles.h"
#include "ControlFixture.h"
#include "TestSupport.h"

using namespace qelt;
using namespace qelt::test;

namespace {

const std::u16string kFailed = u"發生錯誤，錯誤訊息：";

std::wstring EnvText(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) throw std::runtime_error(std::string(name) + " is not set: run under with_server.sh");
  return std::wstring(value, value + std::strlen(value));
}

class ControlXkms : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterVirtualCard(); }
  void TearDown() override { EXPECT_TRUE(boxes_.Boxes().empty()) << "unexpected message box"; }

  win::ComScope com_;
  MessageBoxWatch boxes_;
  OcxModule module_;
};

Value Str(const std::wstring& text) {
  Value v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text.c_str());
  return v;
}

void Put(IDispatch* control, const wchar_t* name, Value value) {
  ASSERT_EQ(CallByName(control, name, DISPATCH_PROPERTYPUT, &value, 1).hr, S_OK) << win::WideToAnsi(name);
}

// "" on success, else the failure's description.
std::string CheckXkms(IDispatch* control) {
  DispatchCall call = CallByName(control, L"checkXKMS", DISPATCH_METHOD);
  if (call.hr == S_OK) return "";
  EXPECT_EQ(call.hr, DISP_E_EXCEPTION);
  return call.error.empty() ? "(no description)" : call.error;
}

TEST_F(ControlXkms, ValidatesDirectlyAndThroughTheProxy) {
  struct Proxy {
    const char* label;
    std::wstring server, user, password;
    LONG port;
  };
  const LONG proxyPort = std::wcstol(EnvText("QELT_PROXY_PORT").c_str(), nullptr, 10);
  const Proxy proxies[] = {
      {"direct", L"", L"", L"", 0},
      {"proxy", L"127.0.0.1", EnvText("QELT_PROXY_USER"), EnvText("QELT_PROXY_PASSWORD"), proxyPort},
      // An empty server is no proxy, whatever the rest says.
      {"server empty", L"", L"nobody", L"wrong", 1},
  };
  const std::pair<const char*, std::string> cards[] = {
      {"citizen", ""},
      {"revoked", Ansi(kFailed + u"憑證已停用或已到期")},
      {"expired", Ansi(kFailed + u"憑證已停用或已到期")},
  };
  for (const auto& [card, expected] : cards) {
    UseCard use(card);
    ComPtr<IQELTReader> control = NewControl(module_);
    for (const Proxy& proxy : proxies) {
      SCOPED_TRACE(std::string(card) + ", " + proxy.label);
      Put(control.Get(), L"proxyServer", Str(proxy.server));
      Put(control.Get(), L"proxyUser", Str(proxy.user));
      Put(control.Get(), L"proxyPass", Str(proxy.password));
      EXPECT_EQ(control->put_proxyPort(proxy.port), S_OK);
      EXPECT_EQ(CheckXkms(control.Get()), expected);
    }
  }
}

TEST_F(ControlXkms, ProxyPortZeroIsNotReplaced) {
  UseCard use("citizen");
  ComPtr<IQELTReader> control = NewControl(module_);
  Put(control.Get(), L"proxyServer", Str(L"127.0.0.1"));
  EXPECT_EQ(control->put_proxyPort(0), S_OK);
  // The socket layer's text follows the prefix.
  EXPECT_EQ(CheckXkms(control.Get()).rfind(Ansi(kFailed + u"Socket Error # "), 0), 0u);
}

TEST_F(ControlXkms, LeavesTheCardRecordAlone) {
  // Reads of the certificate: readCard, checkXKMS, then the card is gone.
  std::string profile = ReadCardFile("citizen", "card.profile");
  const std::string folder = win::WideToAnsi(WinPath(CardFolder("citizen")));
  for (const char* key : {"signCert=", "encryptCert="}) {
    const size_t at = profile.find(key);
    if (at != std::string::npos) profile.insert(at + std::strlen(key), folder + "\\");
  }
  CardProfile card(profile + "\nscript.GetCertificate=0,0,8001,8001\n");
  ComPtr<IQELTReader> control = NewControl(module_);
  ASSERT_EQ(control->readCard(), S_OK);
  EXPECT_EQ(CheckXkms(control.Get()), "");
  // Still served from the record read before, without the card.
  DispatchCall name = CallByName(control.Get(), L"name", DISPATCH_PROPERTYGET);
  EXPECT_EQ(name.hr, S_OK) << name.error;
  EXPECT_EQ(Text(name.result), Ansi(u"王小明"));
  // And the card is read anew for each validation: now it is gone.
  EXPECT_EQ(CheckXkms(control.Get()), Ansi(kFailed + u"建立卡片通訊連結失敗"));
}

}  // namespace
