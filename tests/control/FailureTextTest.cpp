// The texts a failure takes on its way out: checkCard's trimming, the
// creation box's period and the conversion of arguments to text.
#include <gtest/gtest.h>

#include "Exception.h"
#include "FailureText.h"
#include "TestSupport.h"
#include "VariantText.h"
#include "win/Resources.h"

using namespace qelt;
using qelt::test::Ansi;

namespace {

TEST(FailureText, CheckCardTrimsTrailingBlanksControlsAndPeriods) {
  const struct { std::string description; std::string expected; } cases[] = {
      {"Bad PIN.", "Bad PIN"},
      {"Bad PIN. \r\n", "Bad PIN"},
      {"Bad PIN..\t.", "Bad PIN"},
      {"v1.2 failed", "v1.2 failed"},
      {Ansi(u"PinCode錯誤。"), Ansi(u"PinCode錯誤。")},  // a double-byte full stop stays
      {Ansi(u"錯誤") + ". ", Ansi(u"錯誤")},
      {"\x01\x1f" "abc\x7f", "\x01\x1f" "abc\x7f"},
  };
  for (const auto& c : cases) EXPECT_EQ(control::CheckCardMessage(c.description, E_UNEXPECTED), c.expected);
}

TEST(FailureText, CheckCardFallsBackToThePlatformsText) {
  const std::string platform = control::CheckCardMessage("", E_UNEXPECTED);
  EXPECT_FALSE(platform.empty());
  EXPECT_NE(platform.back(), '.');
  EXPECT_EQ(control::CheckCardMessage(" .\r\n", E_UNEXPECTED), platform);
  // A result the platform has no text for.
  EXPECT_EQ(control::CheckCardMessage("", static_cast<HRESULT>(0x80047A2B)), "OLE error 80047A2B");
}

TEST(FailureText, DaxErrorAppendsAPeriodAfterCharactersSortingAfterIt) {
  const struct { std::string message; std::string expected; } cases[] = {
      {"OLE error 80040154", "OLE error 80040154."},
      {"Class not registered", "Class not registered."},
      {"Done.", "Done."},
      {"Failed (", "Failed ("},  // sorts before "."
      {"", ""},
      {Ansi(u"卡片錯誤"), Ansi(u"卡片錯誤") + "."},
  };
  for (const auto& c : cases) EXPECT_EQ(control::DaxErrorText(c.message), c.expected) << c.message;
}

TEST(VariantText, ConversionsOfArguments) {
  auto text = [](VARTYPE vt, auto set) {
    win::Variant v;
    V_VT(&v) = vt;
    set(v);
    return control::VariantToAnsi(v);
  };
  EXPECT_EQ(text(VT_EMPTY, [](VARIANT&) {}), "");
  EXPECT_EQ(text(VT_I4, [](VARIANT& v) { V_I4(&v) = -2147483647 - 1; }), "-2147483648");
  EXPECT_EQ(text(VT_UI4, [](VARIANT& v) { V_UI4(&v) = 4294967295u; }), "4294967295");
  EXPECT_EQ(text(VT_I2, [](VARIANT& v) { V_I2(&v) = -12; }), "-12");
  EXPECT_EQ(text(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 200; }), "200");
  EXPECT_EQ(text(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = SysAllocString(L"\u738b 1234"); }), Ansi(u"\u738b 1234"));
  EXPECT_EQ(text(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = nullptr; }), "");
  LONG referenced = 77;
  EXPECT_EQ(text(VT_I4 | VT_BYREF, [&](VARIANT& v) { V_I4REF(&v) = &referenced; }), "77");
  try {
    text(VT_NULL, [](VARIANT&) {});
    ADD_FAILURE() << "VT_NULL converted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (String)");
  }
}

}  // namespace
