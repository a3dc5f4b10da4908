// Failures at the COM boundary: inside, code throws; every COM method ends
// in a guard (a function-try-block) that turns the failure into its HRESULT.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "Exception.h"

namespace qelt::control {

// A failure that carries the HRESULT a COM method answers with.
class ComError : public Exception {
 public:
  ComError(HRESULT hr, std::string message) : Exception(std::move(message)), hr_(hr) {}
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

// Throws a ComError with the platform's message for a failed HRESULT.
void ThrowIfFailed(HRESULT hr);
[[noreturn]] void ThrowResult(HRESULT hr);

// Inside a catch: the failure's HRESULT (a ComError's own, E_OUTOFMEMORY for
// exhausted memory, E_FAIL otherwise) and its message as 8-bit text.
HRESULT CurrentResult() noexcept;
std::string CurrentMessage() noexcept;

// Sets the thread's error information; help context 0, no help file.
void SetErrorInformation(const IID& iid, const std::wstring& source, const std::string& description) noexcept;

// Inside a catch, for the automation members: every failure is E_UNEXPECTED
// with the message as the error description.
HRESULT AutomationFailure(const IID& iid, const std::wstring& source) noexcept;

}  // namespace qelt::control
