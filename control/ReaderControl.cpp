// The control's identity: creation, the interface table, the one reference
// count and the order of destruction.
#include "ReaderControl.h"

#include "ComGuard.h"
#include "FormDesign.h"
#include "ServerState.h"

namespace qelt::control {

HRESULT ReaderControl::Create(IUnknown* outer, REFIID riid, void** ppv) {
  // Held by the identity from the start so that a failed query frees it.
  win::ComPtr<IUnknown> identity;
  ReaderControl* control = new ReaderControl(outer);
  identity = &control->identity_;
  return identity->QueryInterface(riid, ppv);
}

ReaderControl::ReaderControl(IUnknown* outer)
    : controller_(outer ? outer : &identity_),
      class_(TheControlClass()),
      events_(this, controller_, class_.eventIid, 1,
              [this] {
                if (createEventRaised_) return;
                createEventRaised_ = true;
                Fire(FormEvent::Create);
              }),
      propertyNotifications_(this, controller_, IID_IPropertyNotifySink, ConnectionPoint::kUnlimited),
      extent_(FormExtentHimetric()) {
  server::ObjectCreated();
  try {
    form_ = std::make_unique<TQELTReader>();
  } catch (...) {
    server::ObjectDestroyed();
    throw;
  }
}

ReaderControl::~ReaderControl() {
  // The form frees its card information, then its utility object.
  form_.reset();
  server::ObjectDestroyed();
}

void ReaderControl::BeforeDestroy() noexcept {
  destroying_ = true;
  if (window_) InPlaceDeactivate();
  Fire(FormEvent::Destroy);
  events_.Clear();
  propertyNotifications_.Clear();
}

win::ComPtr<IUnknown> ReaderControl::KeepAlive() const noexcept {
  win::ComPtr<IUnknown> keep;
  if (!destroying_) keep = controller_;
  return keep;
}

STDMETHODIMP ReaderControl::Identity::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  IUnknown* found = riid == IID_IUnknown ? this : owner_.Find(riid);
  *ppv = found;
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ReaderControl::Identity::AddRef() {
  return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) ReaderControl::Identity::Release() {
  const LONG n = ::InterlockedDecrement(&refs_);
  if (n != 0) return static_cast<ULONG>(n);
  // Pinned far from zero while the object tears down: a sink called from the
  // destroy event may take and drop references, even drop one too many,
  // without the count reaching zero a second time.
  refs_ = kDestroyingCount;
  owner_.BeforeDestroy();
  delete &owner_;
  return 0;
}

IUnknown* ReaderControl::Find(REFIID riid) {
  if (riid == IID_IDispatch || riid == class_.dispatchIid) return static_cast<IQELTReader*>(this);
  if (riid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
  if (riid == IID_IProvideClassInfo) return static_cast<IProvideClassInfo*>(this);
  if (riid == IID_IOleObject) return static_cast<IOleObject*>(this);
  if (riid == IID_IOleControl) return static_cast<IOleControl*>(this);
  if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) return static_cast<IOleInPlaceObject*>(this);
  if (riid == IID_IOleInPlaceActiveObject) return static_cast<IOleInPlaceActiveObject*>(this);
  if (riid == IID_IViewObject || riid == IID_IViewObject2) return static_cast<IViewObject2*>(this);
  if (riid == IID_IDataObject) return static_cast<IDataObject*>(this);
  if (riid == IID_IPersist || riid == IID_IPersistStreamInit) return static_cast<IPersistStreamInit*>(this);
  if (riid == IID_IPersistStorage) return static_cast<IPersistStorage*>(this);
  if (riid == IID_IPersistPropertyBag) return static_cast<IPersistPropertyBag*>(this);
  if (riid == IID_IPerPropertyBrowsing) return static_cast<IPerPropertyBrowsing*>(this);
  if (riid == IID_ISpecifyPropertyPages) return static_cast<ISpecifyPropertyPages*>(this);
  if (riid == IID_IQuickActivate) return static_cast<IQuickActivate*>(this);
  if (riid == IID_ISimpleFrameSite) return static_cast<ISimpleFrameSite*>(this);
  if (riid == IID_IObjectSafety) return static_cast<IObjectSafety*>(this);
  if (riid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  return nullptr;
}

}  // namespace qelt::control
