// The reader control as its host sees it: one COM identity with one
// reference count that serves IQELTReader (carried out by the form) and the
// OLE control interfaces. Each group of interfaces has its own source file.
#pragma once
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleidl.h>

#include <memory>
#include <string>

#include "ConnectionPoint.h"
#include "ControlClass.h"
#include "FormWindow.h"
#include "QELTReaderProj1.h"
#include "ReaderState.h"
#include "win/Resources.h"

namespace qelt::control {

// The form's events, delivered to a connected sink under the DISPID that
// the type library gives their names.
enum class FormEvent { Activate, Click, Create, DblClick, Destroy, Deactivate, KeyPress, Paint };

class ReaderControl final : public IQELTReader,
                            public ISupportErrorInfo,
                            public IProvideClassInfo,
                            public IOleObject,
                            public IOleControl,
                            public IOleInPlaceObject,
                            public IOleInPlaceActiveObject,
                            public IViewObject2,
                            public IDataObject,
                            public IPersistStreamInit,
                            public IPersistStorage,
                            public IPersistPropertyBag,
                            public IPerPropertyBrowsing,
                            public ISpecifyPropertyPages,
                            public IQuickActivate,
                            public ISimpleFrameSite,
                            public IObjectSafety,
                            public IConnectionPointContainer,
                            private FormWindowListener {
 public:
  // Makes a control (aggregated when outer is given) and answers the
  // requested interface; a failure of the form is thrown.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown: every interface delegates to the controlling object.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return controller_->QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return controller_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return controller_->Release(); }

  // IDispatch (ReaderAutomation.cpp)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IQELTReader (ReaderAutomation.cpp)
  STDMETHODIMP readCard() override;
  STDMETHODIMP checkCard(VARIANT pin) override;
  STDMETHODIMP checkPin(VARIANT pin) override;
  STDMETHODIMP checkXKMS() override;
  STDMETHODIMP get_serialNumber(VARIANT* value) override;
  STDMETHODIMP get_ICCardID(VARIANT* value) override;
  STDMETHODIMP get_issuerName(VARIANT* value) override;
  STDMETHODIMP get_subjectName(VARIANT* value) override;
  STDMETHODIMP get_name(VARIANT* value) override;
  STDMETHODIMP get_idno(VARIANT* value) override;
  STDMETHODIMP get_usage(VARIANT* value) override;
  STDMETHODIMP get_email(VARIANT* value) override;
  STDMETHODIMP get_notBefore(VARIANT* value) override;
  STDMETHODIMP get_notAfter(VARIANT* value) override;
  STDMETHODIMP get_cardIssType(VARIANT* value) override;
  STDMETHODIMP get_proxyServer(VARIANT* value) override;
  STDMETHODIMP put_proxyServer(VARIANT value) override;
  STDMETHODIMP get_proxyPort(LONG* value) override;
  STDMETHODIMP put_proxyPort(LONG value) override;
  STDMETHODIMP get_proxyUser(VARIANT* value) override;
  STDMETHODIMP put_proxyUser(VARIANT value) override;
  STDMETHODIMP get_proxyPass(VARIANT* value) override;
  STDMETHODIMP put_proxyPass(VARIANT value) override;
  STDMETHODIMP get_ver(BSTR* value) override;

  // ISupportErrorInfo, IProvideClassInfo (ReaderAutomation.cpp)
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;

  // IOleObject (ReaderEmbedding.cpp)
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                      LPCRECT position) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP Unadvise(DWORD connection) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleControl (ReaderEmbedding.cpp)
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject, ISimpleFrameSite (ReaderInPlace.cpp)
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;
  STDMETHODIMP PreMessageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result,
                                DWORD* cookie) override;
  STDMETHODIMP PostMessageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result,
                                 DWORD cookie) override;

  // IViewObject2, IDataObject (ReaderView.cpp)
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc, HDC drawDc,
                    LPCRECTL bounds, LPCRECTL windowBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                    ULONG_PTR contArg) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc,
                           LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHODIMP Unfreeze(DWORD freeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP DUnadvise(DWORD connection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advise) override;

  // IPersist, IPersistStreamInit, IPersistStorage, IPersistPropertyBag (ReaderPersistence.cpp)
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP InitNew(IStorage* storage) override;
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHODIMP SaveCompleted(IStorage* storage) override;
  STDMETHODIMP HandsOffStorage() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  // IPerPropertyBrowsing, ISpecifyPropertyPages, IQuickActivate, IObjectSafety,
  // IConnectionPointContainer (ReaderHostServices.cpp)
  STDMETHODIMP GetDisplayString(DISPID id, BSTR* text) override;
  STDMETHODIMP MapPropertyToPage(DISPID id, CLSID* page) override;
  STDMETHODIMP GetPredefinedStrings(DISPID id, CALPOLESTR* strings, CADWORD* cookies) override;
  STDMETHODIMP GetPredefinedValue(DISPID id, DWORD cookie, VARIANT* value) override;
  STDMETHODIMP GetPages(CAUUID* pages) override;
  STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  STDMETHODIMP SetContentExtent(LPSIZEL size) override;
  STDMETHODIMP GetContentExtent(LPSIZEL size) override;
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // For tests and the container: the form and its window.
  TQELTReader& Form() const { return *form_; }

 private:
  // The non-delegating IUnknown: the object's own identity and count.
  class Identity final : public IUnknown {
   public:
    explicit Identity(ReaderControl& owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    static constexpr LONG kDestroyingCount = MAXLONG / 2;
    ReaderControl& owner_;
    volatile LONG refs_ = 0;
  };

  // Sets a flag for the length of a scope, then gives it its former value.
  class ScopedFlag {
   public:
    explicit ScopedFlag(bool& flag) noexcept : flag_(flag), was_(flag) { flag = true; }
    ~ScopedFlag() { flag_ = was_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

   private:
    bool& flag_;
    bool was_;
  };

  explicit ReaderControl(IUnknown* outer);
  ~ReaderControl();
  // The interface for an IID this object offers, or null.
  IUnknown* Find(REFIID riid);
  // Called once the last reference is gone, before the object is freed.
  void BeforeDestroy() noexcept;

  // A host may release, close, deactivate or activate the control from
  // inside any event or call out to it. Each entry point that calls out holds
  // this reference for its whole length, declared before anything it sets
  // for the call; while the control is destroyed it is empty, since nothing
  // may bring the object back then.
  win::ComPtr<IUnknown> KeepAlive() const noexcept;
  // Deactivation, Close or destruction under way: activation is refused.
  bool TearingDown() const noexcept { return uiDeactivating_ || inPlaceDeactivating_ || closing_ || destroying_; }

  // Failure of an automation member, reported as IQELTReader's.
  HRESULT Fail() noexcept;
  HRESULT GetCardField(TQELTReader::Field field, VARIANT* value);
  HRESULT PutText(void (TQELTReader::*setter)(const std::string&), const VARIANT& value);
  HRESULT GetText(std::string (TQELTReader::*getter)() const, VARIANT* value);
  // Assigns a property by DISPID through IDispatch, as script would.
  HRESULT PutProperty(DISPID id, VARIANT& value);

  // Events (ReaderEvents.cpp)
  void Fire(FormEvent event) noexcept;
  void FireKeyPress(char& key) noexcept;
  void Deliver(FormEvent event, DISPPARAMS& params) noexcept;
  void OnFormMouseDown() override;
  void OnFormClick() override;
  void OnFormDblClick() override;
  void OnFormKeyPress(char& key) override;
  void OnFormPaint() override;

  // Activation (ReaderInPlace.cpp); each is called under KeepAlive().
  void ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT position, bool uiActivate);
  void ActivateUI();
  void DeactivateUI() noexcept;

  // Persistence (ReaderPersistence.cpp)
  void LoadDesign(IStream* stream);
  void SaveDesign(IStream* stream);

  void ViewChanged() noexcept;

  Identity identity_{*this};
  IUnknown* controller_;  // the outer object, or our own identity
  const ControlClass& class_;
  std::unique_ptr<TQELTReader> form_;

  ConnectionPoint events_;
  ConnectionPoint propertyNotifications_;
  bool createEventRaised_ = false;
  LONG eventsFrozen_ = 0;
  bool closing_ = false;
  bool destroying_ = false;

  win::ComPtr<IOleClientSite> clientSite_;
  win::ComPtr<IOleAdviseHolder> oleAdvise_;
  win::ComPtr<IDataAdviseHolder> dataAdvise_;
  win::ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0, viewFlags_ = 0;
  DWORD nextFreeze_ = 1;

  win::ComPtr<IOleInPlaceSite> inPlaceSite_;
  win::ComPtr<IOleInPlaceFrame> frame_;
  win::ComPtr<IOleInPlaceUIWindow> uiWindow_;
  std::unique_ptr<FormWindow> window_;
  bool uiActive_ = false;
  bool uiDeactivating_ = false;
  bool inPlaceDeactivating_ = false;

  SIZEL extent_;
  bool dirty_ = false;
  DWORD safetyEnabled_ = 0;
};

}  // namespace qelt::control
