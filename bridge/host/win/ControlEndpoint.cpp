#include "ControlEndpoint.h"

#include <memory>

#include "HostTexts.h"
#include "ModuleVersion.h"
#include "PolicyStore.h"
#include "Protocol.h"
#include "QELTReaderProj1.h"
#include "VariantJson.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

// How long the box waits for the person.
constexpr unsigned kBoxTimeoutMs = 60 * 1000;

// The control's proxy properties, as its type library spells them.
constexpr const char* kProxyServer = "proxyServer";
constexpr const char* kProxyPort = "proxyPort";
constexpr const char* kProxyUser = "proxyUser";
constexpr const char* kProxyPass = "proxyPass";

Outcome Failure(std::int32_t number, std::string description) {
  Outcome outcome;
  outcome.ok = false;
  outcome.number = number;
  outcome.description = std::move(description);
  return outcome;
}

Verdict Refusal(const char* reasonCode, const char* text, const std::string& origin) {
  Verdict verdict;
  verdict.reason = reasonCode;
  verdict.origin = origin;
  verdict.description = text::Fill(text, "origin", origin);
  return verdict;
}

// The thread's error information, if the failing call left one.
std::string ErrorInfoText() {
  win::ComPtr<IErrorInfo> info;
  if (::GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return {};
  win::UniqueBstr description;
  if (FAILED(info->GetDescription(description.put())) || !description) return {};
  return win::WideToUtf8(description.get(), ::SysStringLen(description.get()));
}

}  // namespace

// Windows' own texts for the invocation failures a page can cause, for
// systems whose message tables lack them (Wine's do).
struct KnownText {
  HRESULT hr;
  const char* text;
};
constexpr KnownText kInvocationTexts[] = {
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_NONAMEDARGS, "No named arguments."},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
};

std::string FailureText(HRESULT hr) {
  const std::wstring text = win::SystemMessageWide(static_cast<DWORD>(hr));
  if (!text.empty()) return win::WideToUtf8(text.data(), text.size());
  for (const auto& known : kInvocationTexts)
    if (known.hr == hr) return known.text;
  char fallback[32];
  wsprintfA(fallback, "OLE error %08X", static_cast<unsigned>(hr));
  return fallback;
}

ControlEndpoint::ControlEndpoint(std::function<bool()> inputEnded, HWND owner)
    : box_(inputEnded, kBoxTimeoutMs, owner), pinDialog_(std::move(inputEnded), owner) {}

Verdict ControlEndpoint::Admit(const std::string& origin, bool topLevel, bool userActivation) {
  policy_ = ReadPolicy();
  Verdict verdict = Decide(origin, topLevel, userActivation, policy_, ReadAnswers());
  origin_ = verdict.origin;
  if (verdict.kind != Verdict::Kind::kAsk) return verdict;
  const Answer answer = box_.Ask(
      verdict.origin,
      [&] {
        // Another host's box, or the administrator, may have settled it meanwhile.
        policy_ = ReadPolicy();
        verdict = Decide(origin, topLevel, userActivation, policy_, ReadAnswers());
        return verdict.kind == Verdict::Kind::kAsk;
      },
      [&](bool yes) { RememberAnswer(verdict.origin, yes); });
  switch (answer) {
    case Answer::kSettledMeanwhile:
      return verdict;
    case Answer::kYes:
      verdict.kind = Verdict::Kind::kAdmit;
      return verdict;
    case Answer::kNo:
      return Refusal(reason::kPerson, text::kPersonRefused, verdict.origin);
    case Answer::kInputEnded:
      verdict.kind = Verdict::Kind::kAbandoned;
      return verdict;
    case Answer::kNoAnswer:
      break;
  }
  // Not asked again at once: a page that reopens would keep the box up for good.
  RememberUnanswered(verdict.origin);
  return Refusal(reason::kTimeout, text::kNoAnswer, verdict.origin);
}

Outcome ControlEndpoint::Open() {
  // The control shows its own box when it cannot be made (no card toolkit):
  // that box is the control's, left as it is.
  HRESULT hr = ::CoCreateInstance(CLSID_QELTReader, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(control_.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    std::string text = ErrorInfoText();
    return Failure(hr, text.empty() ? FailureText(hr) : text);
  }
  win::ComPtr<ITypeInfo> info;
  hr = control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.GetAddressOf());
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(hr)) hr = info->GetTypeAttr(&attributes);
  if (FAILED(hr)) {
    control_.Reset();
    return Failure(hr, FailureText(hr));
  }
  // The type information's own records go back to it on every path.
  const auto releaseAttributes = [&info](TYPEATTR* a) { info->ReleaseTypeAttr(a); };
  const std::unique_ptr<TYPEATTR, decltype(releaseAttributes)> ownedAttributes(attributes, releaseAttributes);
  const auto releaseFunction = [&info](FUNCDESC* f) { info->ReleaseFuncDesc(f); };
  for (UINT i = 0; i < attributes->cFuncs; ++i) {
    FUNCDESC* raw = nullptr;
    if (FAILED(info->GetFuncDesc(i, &raw))) continue;
    const std::unique_ptr<FUNCDESC, decltype(releaseFunction)> function(raw, releaseFunction);
    // IUnknown's and IDispatch's own members are restricted: not the control's.
    if (function->wFuncFlags & FUNCFLAG_FRESTRICTED) continue;
    win::UniqueBstr name;
    UINT count = 0;
    if (SUCCEEDED(info->GetNames(function->memid, name.put(), 1, &count)) && count == 1)
      members_[win::WideToUtf8(name.get(), ::SysStringLen(name.get()))] = function->memid;
  }
  return policy_.proxy.set ? SetManagedProxy() : Outcome{};
}

Outcome ControlEndpoint::SetManagedProxy() {
  const auto& proxy = policy_.proxy;
  const std::pair<const char*, Json> values[] = {
      {kProxyServer, proxy.server}, {kProxyPort, proxy.port}, {kProxyUser, proxy.user}, {kProxyPass, proxy.pass}};
  for (const auto& [member, value] : values) {
    Outcome outcome = Invoke(member, DISPATCH_PROPERTYPUT, {value});
    if (!outcome.ok) {
      control_.Reset();
      return outcome;
    }
  }
  return Outcome{};
}

Outcome ControlEndpoint::Invoke(const std::string& member, WORD flags, const std::vector<Json>& args) {
  const auto found = members_.find(member);
  if (found == members_.end()) return Failure(DISP_E_UNKNOWNNAME, FailureText(DISP_E_UNKNOWNNAME));
  // Invoke takes the arguments last to first.
  const std::unique_ptr<win::Variant[]> values(new win::Variant[args.size() + 1]);
  for (std::size_t i = 0; i < args.size(); ++i) ToVariant(args[i], values[args.size() - 1 - i]);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{values.get(), nullptr, static_cast<UINT>(args.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  win::Variant result;
  win::ExceptionInfo exception;
  UINT badArgument = 0;
  const HRESULT hr =
      control_->Invoke(found->second, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &exception, &badArgument);
  if (hr == DISP_E_EXCEPTION) {
    // The member's own failure: its code and its message, not the wrapper's.
    exception.Complete();
    const HRESULT code = exception.scode ? exception.scode : E_FAIL;
    return Failure(code, exception.bstrDescription
                             ? win::WideToUtf8(exception.bstrDescription, ::SysStringLen(exception.bstrDescription))
                             : std::string());
  }
  if (FAILED(hr)) return Failure(hr, FailureText(hr));
  Outcome outcome;
  if (flags != DISPATCH_PROPERTYPUT && !FromVariant(result, outcome.value))
    return Failure(DISP_E_TYPEMISMATCH, FailureText(DISP_E_TYPEMISMATCH));
  return outcome;
}

Outcome ControlEndpoint::Call(const std::string& member, const std::vector<Json>& args) {
  // The page may see where the administrator's proxy is, not its account.
  if (policy_.proxy.set && (member == kProxyUser || member == kProxyPass))
    return Failure(number::kAccessDenied, text::kProxyManaged);
  return Invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

Outcome ControlEndpoint::Put(const std::string& member, const Json& value) {
  if (policy_.proxy.set &&
      (member == kProxyServer || member == kProxyPort || member == kProxyUser || member == kProxyPass))
    return Failure(number::kAccessDenied, text::kProxyManaged);
  return Invoke(member, DISPATCH_PROPERTYPUT, {value});
}

PinTry ControlEndpoint::TryPin(const PinOperation& operation, std::wstring& pin, Outcome& outcome) {
  if (operation.kind == PinOperation::Kind::kCheckPin || operation.kind == PinOperation::Kind::kCheckCard) {
    // The member itself, with the PIN typed: its answer is the page's.
    Json argument = win::WideToUtf8(pin.data(), pin.size());
    outcome = Invoke(operation.kind == PinOperation::Kind::kCheckPin ? "checkPin" : "checkCard",
                     DISPATCH_METHOD | DISPATCH_PROPERTYGET, {argument});
    std::string& text = argument.get_ref<std::string&>();
    if (!text.empty()) ::SecureZeroMemory(&text[0], text.size());
    return {!outcome.ok && signing_.IsWrongPin(outcome.description)};
  }
  const bool signIn = operation.kind == PinOperation::Kind::kAuthenticate;
  CardSigning::Attempt attempt =
      signing_.Sign(signIn ? format::kAuth : format::kSign, origin_, operation.text, pin, Version());
  outcome = std::move(attempt.outcome);
  return {attempt.wrongPin};
}

Outcome ControlEndpoint::RunPinOperation(const PinOperation& operation) {
  PinRequest request;
  request.origin = origin_;
  request.purpose = operation.kind == PinOperation::Kind::kAuthenticate ? PinPurpose::kSignIn
                    : operation.kind == PinOperation::Kind::kSign      ? PinPurpose::kSign
                                                                       : PinPurpose::kPinCheck;
  if (operation.kind == PinOperation::Kind::kSign) request.text = operation.text;
  request.holder = signing_.HolderName();
  Outcome outcome;
  const PinResult result =
      pinDialog_.Ask(request, [&](std::wstring& pin) { return TryPin(operation, pin, outcome); });
  switch (result) {
    case PinResult::kDone:
      return outcome;
    case PinResult::kInputEnded:
      outcome = Outcome{};
      outcome.abandoned = true;
      return outcome;
    case PinResult::kCancelled:
      outcome = Failure(number::kCancelled, text::kPinCancelled);
      outcome.reason = reason::kCancelled;
      return outcome;
    case PinResult::kTimedOut:
      outcome = Failure(number::kTimeout, text::kPinTimeout);
      outcome.reason = reason::kTimeout;
      return outcome;
    case PinResult::kTooManyWrong:
      break;
  }
  // Cards lock after a few wrong PINs: the third ends the dialog.
  return Failure(number::kUnexpected, signing_.WrongPinText());
}

bool ControlEndpoint::Representable(char32_t c) { return RepresentableInAnsi(c); }

unsigned long long ControlEndpoint::NowMs() { return ::GetTickCount64(); }

// Read once: the file's version data takes milliseconds to read under some systems.
std::string ControlEndpoint::Version() {
  if (version_.empty()) version_ = ModuleVersion();
  return version_;
}

std::string ControlEndpoint::Arch() { return sizeof(void*) == 8 ? "x64" : "x86"; }

}  // namespace qelt::bridge
