// Owners for the platform's resources: one line per resource kind.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <utility>

namespace qelt::win {

using Microsoft::WRL::ComPtr;

// A handle with a close function and an invalid value; moves, never copies.
template <typename T, T Invalid, typename Closer>
class Unique {
 public:
  Unique() = default;
  explicit Unique(T value) : value_(value) {}
  Unique(Unique&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, Invalid));
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  ~Unique() { reset(); }

  T get() const { return value_; }
  T* put() { reset(); return &value_; }
  T release() { return std::exchange(value_, Invalid); }
  void reset(T value = Invalid) {
    if (value_ != Invalid) Closer()(value_);
    value_ = value;
  }
  explicit operator bool() const { return value_ != Invalid; }

 private:
  T value_ = Invalid;
};

struct CloseHandleFn { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct RegCloseKeyFn { void operator()(HKEY h) const { ::RegCloseKey(h); } };
struct FreeLibraryFn { void operator()(HMODULE h) const { ::FreeLibrary(h); } };
struct SysFreeStringFn { void operator()(BSTR b) const { ::SysFreeString(b); } };
struct DestroyArrayFn { void operator()(SAFEARRAY* a) const { ::SafeArrayDestroy(a); } };
struct DestroyWindowFn { void operator()(HWND h) const { ::DestroyWindow(h); } };
struct UnhookFn { void operator()(HHOOK h) const { ::UnhookWindowsHookEx(h); } };
struct LocalFreeFn { void operator()(HLOCAL h) const { ::LocalFree(h); } };

using UniqueHandle = Unique<HANDLE, nullptr, CloseHandleFn>;
using UniqueKey = Unique<HKEY, nullptr, RegCloseKeyFn>;
using UniqueModule = Unique<HMODULE, nullptr, FreeLibraryFn>;
using UniqueBstr = Unique<BSTR, nullptr, SysFreeStringFn>;
using UniqueSafeArray = Unique<SAFEARRAY*, nullptr, DestroyArrayFn>;
using UniqueWindow = Unique<HWND, nullptr, DestroyWindowFn>;
using UniqueHook = Unique<HHOOK, nullptr, UnhookFn>;
// Memory the system allocated for the caller (FormatMessage's buffer).
using UniqueLocal = Unique<HLOCAL, nullptr, LocalFreeFn>;

// A VARIANT that clears itself.
class Variant : public VARIANT {
 public:
  Variant() { ::VariantInit(this); }
  ~Variant() { ::VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  void Clear() { ::VariantClear(this); }
};

// An EXCEPINFO that IDispatch::Invoke may fill: it frees its texts.
class ExceptionInfo : public EXCEPINFO {
 public:
  ExceptionInfo() : EXCEPINFO{} {}
  ~ExceptionInfo() {
    ::SysFreeString(bstrSource);
    ::SysFreeString(bstrDescription);
    ::SysFreeString(bstrHelpFile);
  }
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  // Lets the server fill in what it deferred.
  void Complete() {
    if (pfnDeferredFillIn) pfnDeferredFillIn(this);
  }
};

// COM initialised for the current thread for the owner's lifetime.
class ComScope {
 public:
  ComScope() : hr_(::CoInitialize(nullptr)) {}
  ~ComScope() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

}  // namespace qelt::win
