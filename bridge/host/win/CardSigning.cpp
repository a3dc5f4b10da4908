#include "CardSigning.h"

#include <windows.h>

#include "Exception.h"
#include "Protocol.h"
#include "Reply.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

// The toolkit's codes for a wrong PIN: signing's, and the PIN check's.
constexpr std::int32_t kWrongPinCodes[] = {5010, 12003};

std::string AnsiToUtf8(const std::string& ansi) {
  const std::wstring wide = win::AnsiToWide(ansi);
  return win::WideToUtf8(wide.data(), wide.size());
}

std::string Utf8ToAnsi(const std::string& utf8) { return win::WideToAnsi(win::Utf8ToWide(utf8)); }

void Wipe(std::string& text) {
  if (!text.empty()) ::SecureZeroMemory(&text[0], text.size());
  text.clear();
}

Outcome Failure(const std::string& ansiMessage) {
  Outcome outcome;
  outcome.ok = false;
  outcome.number = number::kUnexpected;
  outcome.description = AnsiToUtf8(ansiMessage);
  return outcome;
}

}  // namespace

CardSigning::CardSigning() = default;
CardSigning::~CardSigning() = default;

TfrmQELTUtility& CardSigning::Utility() {
  if (!utility_) utility_ = std::make_unique<TfrmQELTUtility>(TfrmQELTUtility::WithoutCommandLine{});
  return *utility_;
}

std::string CardSigning::HolderName() {
  try {
    TfrmQELTUtility& utility = Utility();
    utility.param()->set_certType(ctSign);
    return AnsiToUtf8(utility.ReadCardInfo()->name());
  } catch (const std::exception&) {
    return {};  // the dialog goes without it
  }
}

std::string CardSigning::WrongPinText() { return AnsiToUtf8(messages_.GetErrorMessage(kWrongPinCodes[0])); }

bool CardSigning::IsWrongPin(const std::string& description) {
  return !description.empty() && description == WrongPinText();
}

CardSigning::Attempt CardSigning::Sign(const char* format, const std::string& origin, const std::string& body,
                                       const std::wstring& pin, const std::string& appVersion) {
  Attempt attempt;
  std::string pinAnsi;
  try {
    TfrmQELTUtility& utility = Utility();
    TParams& param = *utility.param();
    param.set_signTyp(stData);
    param.set_signfile("");
    param.set_uinfo(Utf8ToAnsi(std::string(format) + " " + origin));
    param.set_src(Utf8ToAnsi(body));
    pinAnsi = win::WideToAnsi(pin);
    param.set_pin(pinAnsi);
    Wipe(pinAnsi);
    std::string signature;
    try {
      signature = utility.Sign();
    } catch (const Exception& e) {
      param.wipe_pin();
      for (const std::int32_t code : kWrongPinCodes)
        attempt.wrongPin = attempt.wrongPin || (!e.Message().empty() && e.Message() == messages_.GetErrorMessage(code));
      if (!attempt.wrongPin) attempt.outcome = Failure(e.Message());
      return attempt;
    }
    param.wipe_pin();
    param.set_certType(ctSign);
    const std::string certificate = utility.ReadCertificate();
    attempt.outcome.token = Token(format, origin, AnsiToUtf8(certificate), AnsiToUtf8(signature), ::GetACP(),
                                  appVersion);
  } catch (const std::exception& e) {
    Wipe(pinAnsi);
    if (utility_) utility_->param()->wipe_pin();
    attempt.outcome = Failure(e.what());
  }
  return attempt;
}

bool RepresentableInAnsi(char32_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  const UINT codePage = ::GetACP();
  if (codePage == CP_UTF8) return true;
  wchar_t units[2];
  int count = 1;
  if (c >= 0x10000) {
    units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<wchar_t>(c);
  }
  char bytes[16];
  BOOL usedDefault = FALSE;
  const int written =
      ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, count, bytes, sizeof bytes, nullptr, &usedDefault);
  return written > 0 && !usedDefault;
}

}  // namespace qelt::bridge
