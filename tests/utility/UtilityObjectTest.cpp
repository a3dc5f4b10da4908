// The utility object with the virtual card behind real COM dispatch:
// ownership of the record and the PIN check.
#include <gtest/gtest.h>

#include "Exception.h"
#include "UtilityObject.h"
#include "TestSupport.h"
#include "win/Resources.h"
#include "win/Text.h"

using namespace qelt;
using qelt::test::Ansi;
using qelt::test::CardProfile;

namespace {

class UtilityObject : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::RegisterVirtualCard(); }
  win::ComScope com_;
  test::MessageBoxWatch boxes_;
  void TearDown() override { EXPECT_TRUE(boxes_.Boxes().empty()) << "unexpected message box"; }
};

// Counts how often records are released.
struct CountedParams : TParams {
  explicit CountedParams(int& released) : released_(released) {}
  ~CountedParams() override { ++released_; }
  int& released_;
};

std::string CheckPinMessage(TfrmQELTUtility& utility) {
  try {
    utility.CheckPin();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no failure)";
}

TEST_F(UtilityObject, ReplacingTheRecordReleasesTheOldOneOnce) {
  int firstReleased = 0, secondReleased = 0;
  {
    TfrmQELTUtility utility;
    utility.set_param(std::make_unique<CountedParams>(firstReleased));
    TParams* first = utility.param();
    utility.set_param(std::unique_ptr<TParams>(first));  // the current one again: kept
    EXPECT_EQ(firstReleased, 0);
    utility.set_param(std::make_unique<CountedParams>(secondReleased));
    EXPECT_EQ(firstReleased, 1);
    utility.param()->set_pin("1234");
    EXPECT_EQ(utility.CheckPin(), Ansi(u"檢查通過"));  // reads the new record
    EXPECT_EQ(secondReleased, 0);
  }
  EXPECT_EQ(firstReleased, 1);
  EXPECT_EQ(secondReleased, 1);
}

TEST_F(UtilityObject, CheckPinTurnsToolkitCodesIntoMessages) {
  struct Case { const char* profile; const char* pin; std::u16string expected; };
  const Case cases[] = {
      {"pin=1234\n", "1234", u"檢查通過"},
      {"pin=1234\n", "4321", u"PinCode錯誤"},
      {"pin=1234\n", "", u"PinCode錯誤"},       // an empty PIN is sent like any other
      {"pin=\n", "", u"檢查通過"},               // ...and matches an empty card PIN
      {"present=no\n", "1234", u"建立卡片通訊連結失敗"},
      {"fail.VerifyPin=5010\n", "1234", u"PinCode錯誤"},  // a signing code still finds its text
      {"fail.VerifyPin=12006\n", "1234", u""},             // a code the table lacks
      {"fail.VerifyPin=-1\n", "1234", u""},
  };
  for (const Case& c : cases) {
    CardProfile profile(c.profile);
    TfrmQELTUtility utility;
    utility.param()->set_pin(c.pin);
    const std::string expected = Ansi(c.expected);
    if (c.expected == u"檢查通過")
      EXPECT_EQ(utility.CheckPin(), expected) << c.profile << " pin " << c.pin;
    else
      EXPECT_EQ(CheckPinMessage(utility), expected) << c.profile << " pin " << c.pin;
    EXPECT_EQ(utility.param()->pin(), c.pin);  // the check changes nothing in the record
  }
}

TEST_F(UtilityObject, EveryCheckIsANewToolkitCall) {
  CardProfile profile("pin=1234\nscript.VerifyPin=0,12001,0\n");
  TfrmQELTUtility utility;
  utility.param()->set_pin("1234");
  EXPECT_EQ(utility.CheckPin(), Ansi(u"檢查通過"));
  EXPECT_EQ(CheckPinMessage(utility), Ansi(u"建立卡片通訊連結失敗"));
  EXPECT_EQ(utility.CheckPin(), Ansi(u"檢查通過"));
  // The object stays usable after a failure.
  utility.param()->set_pin("0000");
  EXPECT_EQ(CheckPinMessage(utility), Ansi(u"PinCode錯誤"));
}

TEST_F(UtilityObject, AControlWithoutTheToolkitInterfaceFailsEveryCall) {
  CardProfile profile("dispatch=no\n");
  TfrmQELTUtility utility;
  EXPECT_EQ(CheckPinMessage(utility), "Interface not supported");
  EXPECT_EQ(CheckPinMessage(utility), "Interface not supported");
}

TEST_F(UtilityObject, AFailingDispatchCallCarriesTheControlsDescription) {
  {
    CardProfile profile("raise.VerifyPin=卡片服務中斷\nfail.VerifyPin=12003\n");
    TfrmQELTUtility utility;
    EXPECT_EQ(CheckPinMessage(utility), Ansi(u"卡片服務中斷"));  // not the table's message
  }
  CardProfile profile("raise.VerifyPin=\n");
  TfrmQELTUtility utility;
  EXPECT_EQ(CheckPinMessage(utility), win::ComErrorMessage(E_FAIL));  // no description: the system's text
}

TEST_F(UtilityObject, AMissingProfileMeansNoCard) {
  CardProfile profile("");
  SetEnvironmentVariableW(L"QELT_CARD_PROFILE", L"Z:\\nonexistent\\card.profile");
  TfrmQELTUtility utility;
  EXPECT_EQ(CheckPinMessage(utility), Ansi(u"建立卡片通訊連結失敗"));
}

}  // namespace
