// A snapshot enumerator for the platform's IEnumXxx interfaces: it owns
// copies of the items and hands out further copies to the caller.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <new>
#include <vector>

#include "win/Resources.h"

namespace qelt::control {

// Copying policy per item type: Copy makes the caller's copy, Free undoes one.
struct CopyConnection {
  static void Copy(CONNECTDATA& to, const CONNECTDATA& from) {
    to = from;
    if (to.pUnk) to.pUnk->AddRef();
  }
  static void Free(CONNECTDATA& item) {
    if (item.pUnk) item.pUnk->Release();
  }
};

struct CopyConnectionPoint {
  static void Copy(IConnectionPoint*& to, IConnectionPoint* from) {
    to = from;
    if (to) to->AddRef();
  }
  static void Free(IConnectionPoint*& item) {
    if (item) item->Release();
  }
};

struct CopyVerb {
  static void Copy(OLEVERB& to, const OLEVERB& from) {
    to = from;
    if (from.lpszVerbName) {
      const size_t bytes = (::lstrlenW(from.lpszVerbName) + 1) * sizeof(wchar_t);
      to.lpszVerbName = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
      if (!to.lpszVerbName) throw std::bad_alloc();
      ::CopyMemory(to.lpszVerbName, from.lpszVerbName, bytes);
    }
  }
  static void Free(OLEVERB& item) { ::CoTaskMemFree(item.lpszVerbName); }
};

template <typename Interface, const IID* Iid, typename Item, typename Policy>
class Enumerator final : public Interface {
 public:
  explicit Enumerator(const std::vector<Item>& items) {
    items_.reserve(items.size());
    for (const Item& item : items) {
      Item copy{};
      Policy::Copy(copy, item);
      items_.push_back(copy);
    }
  }
  ~Enumerator() {
    for (Item& item : items_) Policy::Free(item);
  }

  // A new enumerator over the items, answered through out.
  static HRESULT Create(const std::vector<Item>& items, Interface** out) noexcept try {
    if (!out) return E_POINTER;
    *out = new Enumerator(items);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == *Iid) {
      *ppv = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override try {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && next_ < items_.size(); ++n, ++next_) Policy::Copy(out[n], items_[next_]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const size_t left = items_.size() - next_;
    next_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** out) override {
    const HRESULT hr = Create(items_, out);
    if (SUCCEEDED(hr)) static_cast<Enumerator*>(*out)->next_ = next_;
    return hr;
  }

 private:
  volatile LONG refs_ = 1;
  std::vector<Item> items_;
  size_t next_ = 0;
};

using ConnectionEnumerator = Enumerator<IEnumConnections, &IID_IEnumConnections, CONNECTDATA, CopyConnection>;
using ConnectionPointEnumerator =
    Enumerator<IEnumConnectionPoints, &IID_IEnumConnectionPoints, IConnectionPoint*, CopyConnectionPoint>;
using VerbEnumerator = Enumerator<IEnumOLEVERB, &IID_IEnumOLEVERB, OLEVERB, CopyVerb>;

}  // namespace qelt::control
