#include "ComGuard.h"

#include <new>

#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::control {

void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) ThrowResult(hr);
}

void ThrowResult(HRESULT hr) { throw ComError(hr, win::ComErrorMessage(hr)); }

HRESULT CurrentResult() noexcept {
  try {
    throw;
  } catch (const ComError& e) {
    return e.Result();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

std::string CurrentMessage() noexcept {
  try {
    try {
      throw;
    } catch (const Exception& e) {
      return e.Message();
    } catch (const std::bad_alloc&) {
      return win::ComErrorMessage(E_OUTOFMEMORY);
    } catch (const std::exception& e) {
      return e.what();
    } catch (...) {
      return win::ComErrorMessage(E_UNEXPECTED);
    }
  } catch (...) {
    return {};  // no memory left even for the text
  }
}

void SetErrorInformation(const IID& iid, const std::wstring& source, const std::string& description) noexcept {
  win::ComPtr<ICreateErrorInfo> create;
  if (FAILED(::CreateErrorInfo(&create))) return;
  create->SetGUID(iid);
  create->SetSource(const_cast<LPOLESTR>(source.c_str()));
  try {
    std::wstring wide = win::AnsiToWide(description);
    create->SetDescription(const_cast<LPOLESTR>(wide.c_str()));
  } catch (...) {
  }
  create->SetHelpContext(0);
  win::ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.Get());
}

HRESULT AutomationFailure(const IID& iid, const std::wstring& source) noexcept {
  SetErrorInformation(iid, source, CurrentMessage());
  return E_UNEXPECTED;
}

}  // namespace qelt::control
