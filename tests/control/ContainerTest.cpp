// The control in a small container of our own: created by ProgID, every
// interface queried, activated in place in a hidden window, drawn, saved
// and loaded, and connected to event and property-notification sinks.
#include <gtest/gtest.h>

#include <objsafe.h>
#include <olectl.h>

#include <map>
#include <vector>

#include "ControlFixture.h"
#include "TestSupport.h"

using namespace qelt;
using namespace qelt::test;

namespace {

// A COM object on the stack whose references are not counted.
template <typename... Interfaces>
struct StackObject : Interfaces... {
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

// The container's site: records what the control asked of it.
struct Site : StackObject<IOleClientSite, IOleInPlaceSite> {
  HWND window = nullptr;
  RECT position{10, 20, 10 + 149, 20 + 105};
  std::vector<std::string> calls;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *ppv = static_cast<IOleInPlaceSite*>(this);
    else return *ppv = nullptr, E_NOINTERFACE;
    return S_OK;
  }
  STDMETHODIMP SaveObject() override { return calls.push_back("SaveObject"), S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  STDMETHODIMP GetWindow(HWND* out) override { return *out = window, S_OK; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return calls.push_back("OnInPlaceActivate"), S_OK; }
  STDMETHODIMP OnUIActivate() override { return calls.push_back("OnUIActivate"), S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    *pos = *clip = position;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return calls.push_back("OnUIDeactivate"), S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return calls.push_back("OnInPlaceDeactivate"), S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
};

// An event sink: records the DISPIDs it is called with.
struct EventSink : StackObject<IDispatch> {
  std::vector<DISPID> received;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IQELTReaderEvents) return *ppv = this, S_OK;
    return *ppv = nullptr, E_NOINTERFACE;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    received.push_back(id);
    return S_OK;
  }
};

struct NotifySink : StackObject<IPropertyNotifySink> {
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPropertyNotifySink) return *ppv = this, S_OK;
    return *ppv = nullptr, E_NOINTERFACE;
  }
  STDMETHODIMP OnChanged(DISPID) override { return S_OK; }
  STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
};

// A property bag held in memory.
struct Bag : StackObject<IPropertyBag> {
  std::map<std::wstring, Value> values;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) return *ppv = this, S_OK;
    return *ppv = nullptr, E_NOINTERFACE;
  }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    auto it = values.find(name);
    if (it == values.end()) return E_INVALIDARG;
    return VariantCopy(value, &it->second);
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
    Value copy;
    VariantCopy(&copy, value);
    values.erase(name);
    values.emplace(name, std::move(copy));
    return S_OK;
  }
};

class Container : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterVirtualCard();
    OcxModule module;
    ASSERT_EQ(module.RegisterServer(), S_OK);
  }
  void SetUp() override {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"QELTReaderProj1.QELTReader", &clsid), S_OK);
    ASSERT_EQ(clsid, CLSID_QELTReader);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(control_.GetAddressOf())),
              S_OK);
  }
  void TearDown() override {
    for (const auto& box : boxes_.Boxes()) ADD_FAILURE() << "unexpected box " << box.caption << ": " << box.text;
  }
  template <typename I>
  ComPtr<I> As() {
    ComPtr<I> out;
    EXPECT_EQ(control_.As(&out), S_OK);
    return out;
  }

  CardProfile profile_{"pin=1234\n"};
  win::ComScope com_;
  MessageBoxWatch boxes_;
  ComPtr<IUnknown> control_;
};

TEST_F(Container, OneIdentityOffersEveryInterface) {
  const IID offered[] = {
      IID_IQELTReader, IID_IDispatch, IID_ISupportErrorInfo, IID_IProvideClassInfo, IID_IOleObject,
      IID_IOleControl, IID_IOleWindow, IID_IOleInPlaceObject, IID_IOleInPlaceActiveObject, IID_IViewObject,
      IID_IViewObject2, IID_IDataObject, IID_IPersist, IID_IPersistStreamInit, IID_IPersistStorage,
      IID_IPersistPropertyBag, IID_IPerPropertyBrowsing, IID_ISpecifyPropertyPages, IID_IQuickActivate,
      IID_ISimpleFrameSite, IID_IObjectSafety, IID_IConnectionPointContainer,
  };
  for (const IID& iid : offered) {
    ComPtr<IUnknown> part, identity;
    ASSERT_EQ(control_->QueryInterface(iid, reinterpret_cast<void**>(part.GetAddressOf())), S_OK);
    ASSERT_EQ(part.As(&identity), S_OK);
    EXPECT_EQ(identity, control_);
    ComPtr<IQELTReader> reader;  // and back again from every part
    EXPECT_EQ(part.As(&reader), S_OK);
  }
  ComPtr<IStream> none;
  EXPECT_EQ(control_.As(&none), E_NOINTERFACE);

  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(As<IProvideClassInfo>()->GetClassInfo(&coclass), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, CLSID_QELTReader);
  coclass->ReleaseTypeAttr(attr);
  CAUUID pages{5, nullptr};
  EXPECT_EQ(As<ISpecifyPropertyPages>()->GetPages(&pages), S_OK);
  EXPECT_EQ(pages.cElems, 0u);
}

TEST_F(Container, StatusVerbAndExtent) {
  ComPtr<IOleObject> ole = As<IOleObject>();
  DWORD status = 0;
  EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
  EXPECT_EQ(status, 205201u);
  EXPECT_EQ(ole->GetMiscStatus(DVASPECT_ICON, &status), DV_E_DVASPECT);
  ComPtr<IEnumOLEVERB> verbs;
  ASSERT_EQ(ole->EnumVerbs(&verbs), S_OK);
  OLEVERB verb{};
  ULONG fetched = 0;
  ASSERT_EQ(verbs->Next(1, &verb, &fetched), S_OK);
  EXPECT_EQ(verb.lVerb, 0);
  EXPECT_STREQ(verb.lpszVerbName, L"Properties");
  EXPECT_EQ(verb.fuFlags, 0u);
  EXPECT_EQ(verb.grfAttribs, static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU));
  CoTaskMemFree(verb.lpszVerbName);
  EXPECT_EQ(verbs->Next(1, &verb, &fetched), S_FALSE);
  SIZEL extent{};
  EXPECT_EQ(ole->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, MulDiv(149, 2540, 96));
  EXPECT_EQ(extent.cy, MulDiv(105, 2540, 96));
}

TEST_F(Container, ActivatesInPlaceInAHiddenWindowAndDeliversEvents) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  Site site;
  site.window = parent;
  EventSink events;
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(As<IConnectionPointContainer>()->FindConnectionPoint(DIID_IQELTReaderEvents, &point), S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&events), &cookie), S_OK);

  ComPtr<IOleObject> ole = As<IOleObject>();
  ASSERT_EQ(ole->SetClientSite(&site), S_OK);
  ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, parent, &site.position), S_OK);
  HWND window = nullptr;
  ASSERT_EQ(As<IOleInPlaceObject>()->GetWindow(&window), S_OK);
  EXPECT_EQ(GetParent(window), parent);
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right - rect.left, 149);
  ASSERT_EQ(ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, parent, &site.position), S_OK);
  SendMessageW(window, WM_LBUTTONDOWN, 0, 0);
  SendMessageW(window, WM_LBUTTONUP, 0, 0);
  ASSERT_EQ(As<IOleInPlaceObject>()->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(site.calls, (std::vector<std::string>{"OnInPlaceActivate", "OnUIActivate", "OnUIDeactivate",
                                                  "OnInPlaceDeactivate"}));
  // Create on connection, then activate, click and deactivate, each under
  // the DISPID the type library gives its name.
  EXPECT_EQ(events.received, (std::vector<DISPID>{203, 201, 202, 206}));
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
  DestroyWindow(parent);
}

TEST_F(Container, DrawsAGreyBorderedRectangle) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 150);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const RECTL bounds{5, 5, 5 + 149, 5 + 105};
  EXPECT_EQ(As<IViewObject2>()->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
            S_OK);
  EXPECT_EQ(GetPixel(dc, 5, 5), GetNearestColor(dc, GetSysColor(COLOR_WINDOWFRAME)));
  EXPECT_EQ(GetPixel(dc, 80, 60), GetNearestColor(dc, GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(As<IViewObject2>()->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
            DV_E_DVASPECT);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(Container, PropertyBagCarriesTheProxyProperties) {
  ComPtr<IDispatch> dispatch = As<IDispatch>();
  Value server, port, user, pass;
  V_VT(&server) = VT_BSTR, V_BSTR(&server) = SysAllocString(L"proxy.example");
  V_VT(&port) = VT_I4, V_I4(&port) = 3128;
  V_VT(&user) = VT_BSTR, V_BSTR(&user) = SysAllocString(L"\u738b");
  V_VT(&pass) = VT_I4, V_I4(&pass) = 1234;
  for (auto [name, value] : {std::pair<const wchar_t*, VARIANT*>{L"proxyServer", &server}, {L"proxyPort", &port},
                             {L"proxyUser", &user}, {L"proxyPass", &pass}})
    ASSERT_EQ(CallByName(dispatch.Get(), name, DISPATCH_PROPERTYPUT, value, 1).hr, S_OK);
  Bag saved;
  ASSERT_EQ(As<IPersistPropertyBag>()->Save(&saved, TRUE, TRUE), S_OK);
  ASSERT_EQ(saved.values.size(), 4u);
  EXPECT_EQ(Text(saved.values.at(L"proxyServer")), "proxy.example");
  EXPECT_EQ(V_I4(&saved.values.at(L"proxyPort")), 3128);
  EXPECT_EQ(Text(saved.values.at(L"proxyPass")), "1234");

  // Into a new control; a value that cannot be assigned is skipped.
  V_VT(&saved.values.at(L"proxyUser")) = VT_NULL;
  ComPtr<IUnknown> other;
  ASSERT_EQ(CoCreateInstance(CLSID_QELTReader, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(other.GetAddressOf())),
            S_OK);
  ComPtr<IPersistPropertyBag> load;
  ASSERT_EQ(other.As(&load), S_OK);
  ASSERT_EQ(load->InitNew(), S_OK);
  ASSERT_EQ(load->Load(&saved, nullptr), S_OK);
  ComPtr<IDispatch> loaded;
  ASSERT_EQ(other.As(&loaded), S_OK);
  EXPECT_EQ(Text(CallByName(loaded.Get(), L"proxyServer", DISPATCH_PROPERTYGET).result), "proxy.example");
  DispatchCall loadedPort = CallByName(loaded.Get(), L"proxyPort", DISPATCH_PROPERTYGET);
  EXPECT_EQ(V_I4(&loadedPort.result), 3128);
  EXPECT_EQ(Text(CallByName(loaded.Get(), L"proxyUser", DISPATCH_PROPERTYGET).result), "");
  EXPECT_EQ(Text(CallByName(loaded.Get(), L"proxyPass", DISPATCH_PROPERTYGET).result), "1234");
}

TEST_F(Container, StreamCarriesTheDesign) {
  ComPtr<IOleObject> ole = As<IOleObject>();
  SIZEL wider{5000, 3000};
  ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &wider), S_OK);
  EXPECT_EQ(As<IPersistStreamInit>()->IsDirty(), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(As<IPersistStreamInit>()->Save(stream.Get(), TRUE), S_OK);
  EXPECT_EQ(As<IPersistStreamInit>()->IsDirty(), S_FALSE);
  ComPtr<IPersistStreamInit> other;
  ASSERT_EQ(CoCreateInstance(CLSID_QELTReader, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStreamInit,
                             reinterpret_cast<void**>(other.GetAddressOf())),
            S_OK);
  ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(other->Load(stream.Get()), S_OK);
  ComPtr<IOleObject> otherOle;
  ASSERT_EQ(other.As(&otherOle), S_OK);
  SIZEL loaded{};
  EXPECT_EQ(otherOle->GetExtent(DVASPECT_CONTENT, &loaded), S_OK);
  EXPECT_EQ(loaded.cx, 5000);
  EXPECT_EQ(loaded.cy, 3000);
  EXPECT_EQ(other->Load(stream.Get()), E_FAIL);  // nothing left to read
}

TEST_F(Container, SafetyOptions) {
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(control_->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())), S_OK);
  DWORD supported = 9, enabled = 9;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 1), S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 1u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 2, 3), S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 2u);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IStream, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(supported, 0u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IStream, 3, 3), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 2u);  // unchanged by the refused call
}

TEST_F(Container, ConnectionPoints) {
  ComPtr<IConnectionPointContainer> points = As<IConnectionPointContainer>();
  ComPtr<IEnumConnectionPoints> all;
  ASSERT_EQ(points->EnumConnectionPoints(&all), S_OK);
  IConnectionPoint* found[3] = {};
  ULONG count = 0;
  EXPECT_EQ(all->Next(3, found, &count), S_FALSE);
  EXPECT_EQ(count, 2u);
  for (ULONG i = 0; i < count; ++i) found[i]->Release();

  ComPtr<IConnectionPoint> events, notifications;
  ASSERT_EQ(points->FindConnectionPoint(DIID_IQELTReaderEvents, &events), S_OK);
  ASSERT_EQ(points->FindConnectionPoint(IID_IPropertyNotifySink, &notifications), S_OK);
  EventSink first, second;
  DWORD cookie = 0, refused = 99;
  EXPECT_EQ(events->Advise(static_cast<IDispatch*>(&first), &cookie), S_OK);
  EXPECT_EQ(cookie, 1u);
  EXPECT_EQ(events->Advise(static_cast<IDispatch*>(&second), &refused), CONNECT_E_ADVISELIMIT);
  EXPECT_EQ(first.received, std::vector<DISPID>{203});  // the first connection raises the create event
  NotifySink a, b;
  DWORD ca = 0, cb = 0;
  EXPECT_EQ(notifications->Advise(&a, &ca), S_OK);
  EXPECT_EQ(notifications->Advise(&b, &cb), S_OK);
  EXPECT_EQ(ca, 1u);
  EXPECT_EQ(cb, 2u);
  EXPECT_EQ(notifications->Unadvise(ca), S_OK);
  EXPECT_EQ(notifications->Unadvise(ca), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(events->Unadvise(cookie), S_OK);
  EXPECT_EQ(notifications->Unadvise(cb), S_OK);
}

TEST(ContainerModule, CanUnloadOnceTheLastControlIsReleased) {
  RegisterVirtualCard();
  CardProfile profile("pin=1234\n");
  win::ComScope com;
  OcxModule module;
  ComPtr<IUnknown> control;
  ASSERT_EQ(CoCreateInstance(CLSID_QELTReader, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(control.GetAddressOf())),
            S_OK);
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
  control.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}  // namespace
