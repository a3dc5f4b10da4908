// The control's automation members, through its vtable and through
// IDispatch, with the virtual card behind it.
#include <gtest/gtest.h>

#include "CardFiles.h"
#include "ControlFixture.h"
#include "FailureText.h"
#include "MessageObject.h"
#include "TestSupport.h"

using namespace qelt;
using namespace qelt::test;

namespace {

class Automation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterVirtualCard(); }
  void TearDown() override { EXPECT_TRUE(boxes_.Boxes().empty()) << "unexpected message box"; }
  std::string TableMessage(int code) { return TQeltUtility().GetErrorMessage(code); }

  win::ComScope com_;
  MessageBoxWatch boxes_;
  OcxModule module_;
};

Value Str(const wchar_t* text) {
  Value v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

Value Int(LONG value) {
  Value v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

Value OfType(VARTYPE vt) {
  Value v;
  V_VT(&v) = vt;
  return v;
}

// The error information a failed vtable call left: description, source, GUID.
struct ErrorInfoSeen {
  std::string description;
  std::wstring source;
  GUID guid{};
  DWORD helpContext = 99;
};
ErrorInfoSeen TakeErrorInfo() {
  ErrorInfoSeen seen;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK) return seen;
  win::UniqueBstr description, source;
  info->GetDescription(description.put());
  info->GetSource(source.put());
  info->GetGUID(&seen.guid);
  info->GetHelpContext(&seen.helpContext);
  seen.description = win::BstrToAnsi(description.get());
  seen.source = source ? source.get() : L"";
  return seen;
}

TEST_F(Automation, DispatchIsServedByTheTypeInformation) {
  CardProfile profile("pin=1234\n");
  ComPtr<IQELTReader> control = NewControl(module_);
  UINT count = 0;
  EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(control->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  ASSERT_EQ(control->GetTypeInfo(0, 0, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IQELTReader);
  info->ReleaseTypeAttr(attr);

  // Names in any letter case, whatever IID and locale are passed.
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"PROXYport")};
  DISPID id = 0;
  EXPECT_EQ(control->GetIDsOfNames(IID_IQELTReader, names, 1, 0x0404, &id), S_OK);
  EXPECT_EQ(id, 217);

  DispatchCall ver = CallByName(control.Get(), L"Ver", DISPATCH_PROPERTYGET);
  EXPECT_EQ(ver.hr, S_OK);
  EXPECT_EQ(Text(ver.result), "3.0");
  win::UniqueBstr direct;
  EXPECT_EQ(control->get_ver(direct.put()), S_OK);
  EXPECT_STREQ(direct.get(), L"3.0");

  // No default member, and no putter for read-only properties.
  DispatchCall none;
  Invoke(control.Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, nullptr, 0, none);
  EXPECT_EQ(none.hr, DISP_E_MEMBERNOTFOUND);
  for (const wchar_t* readOnly : {L"ver", L"name", L"cardIssType"}) {
    Value value = Str(L"x");
    EXPECT_EQ(CallByName(control.Get(), readOnly, DISPATCH_PROPERTYPUT, &value, 1).hr, DISP_E_MEMBERNOTFOUND)
        << readOnly;
  }
}

TEST_F(Automation, FailuresCarryErrorInformationOfTheInterface) {
  CardProfile profile("pin=1234\n");
  ComPtr<IQELTReader> control = NewControl(module_);
  EXPECT_EQ(control->checkPin(Str(L"0000")), E_UNEXPECTED);
  const ErrorInfoSeen seen = TakeErrorInfo();
  EXPECT_EQ(seen.description, TableMessage(12003));
  EXPECT_EQ(seen.source, L"QELTReaderProj1.QELTReader");
  EXPECT_EQ(seen.guid, IID_IQELTReader);
  EXPECT_EQ(seen.helpContext, 0u);

  // Through IDispatch the description reaches the exception information.
  Value pin = Str(L"0000");
  DispatchCall call = CallByName(control.Get(), L"checkPin", DISPATCH_METHOD, &pin, 1);
  EXPECT_EQ(call.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(call.error, TableMessage(12003));

  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(control.As(&support), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IQELTReader), S_FALSE);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IOleObject), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
}

TEST_F(Automation, CheckPinAndCheckCard) {
  const std::string wrongPin = TableMessage(12003);
  const std::string unexpected = control::CheckCardMessage("", E_UNEXPECTED);
  const std::string nullText = "Could not convert variant of type (Null) into type (String)";
  struct Case {
    const char* profile;
    Value (*pin)();
    std::string checkPin;   // empty: success
    std::string checkCard;
    bool fails;
  };
  const Case cases[] = {
      {"pin=1234\n", [] { return Str(L"1234"); }, "", "", false},
      {"pin=1234\n", [] { return Int(1234); }, "", "", false},  // integers as their digits
      {"pin=\n", [] { return OfType(VT_EMPTY); }, "", "", false},
      {"pin=1234\n", [] { return Str(L"4321"); }, wrongPin, wrongPin, true},
      {"pin=1234\n", [] { return OfType(VT_NULL); }, nullText, nullText, true},
      // A code the table lacks: no description, so checkCard gives the platform's text.
      {"fail.VerifyPin=12006\n", [] { return Str(L"1234"); }, "", unexpected, true},
  };
  for (const Case& c : cases) {
    CardProfile profile(c.profile);
    ComPtr<IQELTReader> control = NewControl(module_);
    Value pin = c.pin();
    const HRESULT pinResult = control->checkPin(pin);
    const std::string pinText = TakeErrorInfo().description;
    const HRESULT cardResult = control->checkCard(pin);
    const std::string cardText = TakeErrorInfo().description;
    SCOPED_TRACE(std::string(c.profile) + " vt " + std::to_string(V_VT(&pin)));
    EXPECT_EQ(pinResult, c.fails ? E_UNEXPECTED : S_OK);
    EXPECT_EQ(cardResult, c.fails ? E_UNEXPECTED : S_OK);
    if (!c.fails) continue;
    EXPECT_EQ(pinText, c.checkPin);
    EXPECT_EQ(cardText, c.checkCard);
  }
  EXPECT_FALSE(unexpected.empty());
}

TEST_F(Automation, ProxyPropertiesRoundTrip) {
  CardProfile profile("pin=1234\n");
  ComPtr<IQELTReader> control = NewControl(module_);
  for (const wchar_t* name : {L"proxyServer", L"proxyUser", L"proxyPass"}) {
    SCOPED_TRACE(std::string(win::WideToAnsi(name)));
    EXPECT_EQ(Text(CallByName(control.Get(), name, DISPATCH_PROPERTYGET).result), "");  // empty string, not empty
    Value value = Str(L"\u4e2d x");
    EXPECT_EQ(CallByName(control.Get(), name, DISPATCH_PROPERTYPUT, &value, 1).hr, S_OK);
    EXPECT_EQ(Text(CallByName(control.Get(), name, DISPATCH_PROPERTYGET).result), Ansi(u"\u4e2d x"));
    Value null = OfType(VT_NULL);
    DispatchCall put = CallByName(control.Get(), name, DISPATCH_PROPERTYPUT, &null, 1);
    EXPECT_EQ(put.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(put.error, "Could not convert variant of type (Null) into type (String)");
    EXPECT_EQ(Text(CallByName(control.Get(), name, DISPATCH_PROPERTYGET).result), Ansi(u"\u4e2d x"));  // kept
    Value number = Int(-7);
    EXPECT_EQ(CallByName(control.Get(), name, DISPATCH_PROPERTYPUTREF, &number, 1).hr, S_OK);
    EXPECT_EQ(Text(CallByName(control.Get(), name, DISPATCH_PROPERTYGET).result), "-7");
  }
  for (LONG port : {-1L, 0L, 8080L, 2147483647L}) {
    EXPECT_EQ(control->put_proxyPort(port), S_OK);
    LONG back = 42;
    EXPECT_EQ(control->get_proxyPort(&back), S_OK);
    EXPECT_EQ(back, port);
  }
  Value digits = Str(L"3128"), letters = Str(L"abc");
  EXPECT_EQ(CallByName(control.Get(), L"proxyPort", DISPATCH_PROPERTYPUT, &digits, 1).hr, S_OK);
  EXPECT_EQ(CallByName(control.Get(), L"proxyPort", DISPATCH_PROPERTYPUT, &letters, 1).hr, DISP_E_TYPEMISMATCH);
  DispatchCall port = CallByName(control.Get(), L"proxyPort", DISPATCH_PROPERTYGET);
  EXPECT_EQ(V_VT(&port.result), VT_I4);
  EXPECT_EQ(V_I4(&port.result), 3128);
}

// A test card's profile with extra lines, e.g. codes for successive reads.
std::string CardWith(const std::string& card, const std::string& extra) {
  std::string profile = ReadCardFile(card, "card.profile");
  const std::string folder = win::WideToAnsi(WinPath(CardFolder(card)));
  for (const char* key : {"signCert=", "encryptCert="}) {
    const size_t at = profile.find(key);
    if (at != std::string::npos) profile.insert(at + strlen(key), folder + "\\");
  }
  return profile + "\n" + extra + "\n";
}

DispatchCall Get(IDispatch* control, const wchar_t* name) { return CallByName(control, name, DISPATCH_PROPERTYGET); }

TEST_F(Automation, ReadCardServesTheRecordUntilTheNextRead) {
  // Reads: 1 readCard, 2 readCard (fails), 3 a getter (fails), 4 a getter.
  CardProfile profile(CardWith("citizen", "script.GetCertificate=0,8001,8001"));
  ComPtr<IQELTReader> control = NewControl(module_);
  ASSERT_EQ(control->readCard(), S_OK);
  const std::pair<const wchar_t*, std::u16string> fields[] = {
      {L"serialNumber", u"10000001"},  // the certificate's serial, not the card's
      {L"ICCardID", u"TP0000000000000101"},
      {L"issuerName", u"C=TW, O=測試, OU=內政部憑證管理中心"},
      {L"subjectName", u"C=TW, CN=王小明"},
      {L"name", u"王小明"},
      {L"idno", u"A123456789"},
      {L"usage", u"digitalSignature, keyEncipherment"},
      {L"email", u"wang@example.com.tw"},
      {L"notBefore", u"1090101"},
      {L"notAfter", u"1341231"},
      {L"cardIssType", u"1"},
  };
  for (const auto& [name, expected] : fields) {  // served from the record: no card access
    DispatchCall call = Get(control.Get(), name);
    EXPECT_EQ(call.hr, S_OK) << win::WideToAnsi(name) << " " << call.error;
    EXPECT_EQ(Text(call.result), Ansi(expected)) << win::WideToAnsi(name);
  }
  const std::string noCard = TableMessage(8001);
  DispatchCall failed = CallByName(control.Get(), L"readCard", DISPATCH_METHOD);
  EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(failed.error, noCard);
  // The failed read cleared the flag: the getter reads, and fails rather
  // than answer from the older record.
  Value out;
  EXPECT_EQ(control->get_name(&out), E_UNEXPECTED);
  EXPECT_EQ(V_VT(&out), VT_EMPTY);
  EXPECT_EQ(TakeErrorInfo().description, noCard);
  EXPECT_EQ(Text(Get(control.Get(), L"name").result), Ansi(u"王小明"));
}

TEST_F(Automation, GettersWithoutReadCardReadEveryTime) {
  CardProfile profile(CardWith("unknown", "script.GetCertificate=0,8001"));
  ComPtr<IQELTReader> control = NewControl(module_);
  DispatchCall first = Get(control.Get(), L"cardIssType");
  EXPECT_EQ(first.hr, S_OK);
  EXPECT_EQ(V_VT(&first.result), VT_BSTR);  // no authority named: an empty string
  EXPECT_EQ(Text(first.result), "");
  DispatchCall second = Get(control.Get(), L"idno");  // reads again, and this read fails
  EXPECT_EQ(second.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(second.error, TableMessage(8001));
}

}  // namespace
