// Containers that act on the control from inside its own events: they drop
// their last reference, close it, deactivate it or activate it again while
// the control is still inside the call that raised the event. One scenario
// per process (each_in_own_process.sh runs them so, with freed memory
// poisoned); each ends with the control gone, every object of the container
// released, the module free to unload and the heaps sound.
#include <gtest/gtest.h>

#include <olectl.h>

#include <ostream>
#include <stdexcept>
#include <vector>

#include "ControlFixture.h"
#include "TestSupport.h"

using namespace qelt;
using namespace qelt::test;

namespace {

// What the container does once the control is connected and UI-active.
enum class Step { Nothing, Click, InPlaceDeactivate, Close, Hide, Resize, ReleaseWhileActive };

// The notice inside which the container acts: an event, by the DISPID the
// type library gives it, or the view sink's change notice.
enum class When : DISPID {
  Never = 0,
  Activate = 201,
  Click = 202,
  Create = 203,
  Destroy = 205,
  Deactivate = 206,
  ViewChange = DISPID_UNKNOWN,
};

// What the container does then.
enum class Act { Nothing, Release, Unadvise, CallBack, Close, InPlaceDeactivate, UIActivate, ReleaseTooOften };

struct Scenario {
  const char* name;
  Step step;
  When when;
  Act act;
  // The container has a frame window, which holds the UI-active object: a
  // host that lets the control go while it is UI-active has none, or the
  // frame would keep it.
  bool frame;
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

const Scenario kScenarios[] = {
    {"DeactivateReleases", Step::InPlaceDeactivate, When::Deactivate, Act::Release, true},
    {"DeactivateCloses", Step::InPlaceDeactivate, When::Deactivate, Act::Close, true},
    {"DeactivateActivatesAgain", Step::InPlaceDeactivate, When::Deactivate, Act::UIActivate, true},
    {"DeactivateCallsBack", Step::InPlaceDeactivate, When::Deactivate, Act::CallBack, true},
    {"CloseDeactivateReleases", Step::Close, When::Deactivate, Act::Release, true},
    {"CloseDeactivateDeactivates", Step::Close, When::Deactivate, Act::InPlaceDeactivate, true},
    {"HideReleases", Step::Hide, When::Deactivate, Act::Release, true},
    {"ClickReleases", Step::Click, When::Click, Act::Release, false},
    {"ClickCloses", Step::Click, When::Click, Act::Close, true},
    {"ClickCallsBack", Step::Click, When::Click, Act::CallBack, true},
    {"ViewChangeReleases", Step::Resize, When::ViewChange, Act::Release, false},
    {"CreateReleases", Step::Nothing, When::Create, Act::Release, true},
    {"CreateUnadvises", Step::Nothing, When::Create, Act::Unadvise, true},
    {"CreateCallsBack", Step::Nothing, When::Create, Act::CallBack, true},
    {"ActivateReleases", Step::Nothing, When::Activate, Act::Release, false},
    {"ActivateUnadvises", Step::Nothing, When::Activate, Act::Unadvise, true},
    {"ActivateCallsBack", Step::Nothing, When::Activate, Act::CallBack, true},
    {"DestroyUnadvises", Step::Nothing, When::Destroy, Act::Unadvise, true},
    {"DestroyCallsBack", Step::Nothing, When::Destroy, Act::CallBack, true},
    {"DestroyReleasesTooOften", Step::Nothing, When::Destroy, Act::ReleaseTooOften, true},
    {"ClosedTwice", Step::Close, When::Never, Act::Nothing, true},
    {"ReleasedWhileActive", Step::ReleaseWhileActive, When::Never, Act::Nothing, false},
};

// The container's COM objects alive; none may be left once the control is gone.
int g_containerObjects = 0;

template <typename... Interfaces>
class Counted : public Interfaces... {
 public:
  Counted() { ++g_containerObjects; }
  virtual ~Counted() { --g_containerObjects; }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 private:
  ULONG refs_ = 0;
};

// An interface of the control without a reference of its own, as a container
// that holds one reference calls it; valid while that reference is held.
template <typename I>
I* Borrow(IUnknown* control, REFIID iid) {
  I* part = nullptr;
  if (FAILED(control->QueryInterface(iid, reinterpret_cast<void**>(&part)))) throw std::runtime_error("no interface");
  part->Release();
  return part;
}

class Host;

struct Frame : Counted<IOleInPlaceFrame> {
  HWND window = nullptr;
  ComPtr<IOleInPlaceActiveObject> active;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
        riid == IID_IOleInPlaceFrame)
      return AddRef(), *ppv = static_cast<IOleInPlaceFrame*>(this), S_OK;
    return *ppv = nullptr, E_NOINTERFACE;
  }
  STDMETHODIMP GetWindow(HWND* out) override { return *out = window, S_OK; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    active = object;
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

struct Site : Counted<IOleClientSite, IOleInPlaceSite> {
  HWND window = nullptr;
  RECT position{10, 20, 10 + 149, 20 + 105};
  ComPtr<Frame> frame;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *ppv = static_cast<IOleInPlaceSite*>(this);
    else return *ppv = nullptr, E_NOINTERFACE;
    return AddRef(), S_OK;
  }
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  STDMETHODIMP GetWindow(HWND* out) override { return *out = window, S_OK; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** outFrame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO) override {
    *outFrame = frame.Get();
    if (frame) frame->AddRef();
    *doc = nullptr;
    *pos = *clip = position;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
};

// The event sink and the view sink pass what they receive to the host.
struct EventSink : Counted<IDispatch> {
  Host* host = nullptr;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IQELTReaderEvents)
      return AddRef(), *ppv = static_cast<IDispatch*>(this), S_OK;
    return *ppv = nullptr, E_NOINTERFACE;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
};

struct ViewSink : Counted<IAdviseSink> {
  Host* host = nullptr;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IAdviseSink) return AddRef(), *ppv = static_cast<IAdviseSink*>(this), S_OK;
    return *ppv = nullptr, E_NOINTERFACE;
  }
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override;
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override {}
};

// The container: one reference on the control, a window, a site (with a
// frame when the scenario has one), an event sink and a view sink.
class Host {
 public:
  explicit Host(const Scenario& scenario) : scenario_(scenario) {
    parent_ = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    if (!parent_) throw std::runtime_error("no window");
    site_ = new Site;
    site_->window = parent_;
    if (scenario.frame) {
      site_->frame = new Frame;
      site_->frame->window = parent_;
    }
    events_ = new EventSink;
    events_->host = this;
    view_ = new ViewSink;
    view_->host = this;
  }
  ~Host() { DestroyWindow(parent_); }

  // Creates the control, connects it, UI-activates it, takes the scenario's
  // step, closes it and releases it; each only while the reference is held.
  void Live(const OcxModule& module) {
    control_ = raw_ = NewControl(module).Detach();
    ASSERT_EQ(Borrow<IOleObject>(control_, IID_IOleObject)->SetClientSite(site_.Get()), S_OK);
    ASSERT_EQ(Borrow<IViewObject>(control_, IID_IViewObject)->SetAdvise(DVASPECT_CONTENT, 0, view_.Get()), S_OK);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(Borrow<IConnectionPointContainer>(control_, IID_IConnectionPointContainer)
                  ->FindConnectionPoint(DIID_IQELTReaderEvents, &point),
              S_OK);
    point->Release();  // borrowed too: it counts on the control
    ASSERT_EQ(point->Advise(static_cast<IDispatch*>(events_.Get()), &cookie_), S_OK);
    if (control_) {
      EXPECT_EQ(Verb(OLEIVERB_UIACTIVATE), S_OK);
    }
    if (control_) TakeStep();
    if (control_ && scenario_.step != Step::ReleaseWhileActive) {
      EXPECT_EQ(Borrow<IOleObject>(control_, IID_IOleObject)->Close(OLECLOSE_NOSAVE), S_OK);
    }
    if (control_) DropReference();
  }

  // The container lets go of its own objects; those the control still
  // holds stay alive.
  void LetGo() {
    if (site_->frame) {
      EXPECT_EQ(site_->frame->active.Get(), nullptr) << "the frame still holds the control as active object";
    }
    site_.Reset();
    events_.Reset();
    view_.Reset();
  }

  void Notice(When when) {
    if (when == When::Destroy) ++destroyEvents_;
    if (when != scenario_.when || acted_) return;
    acted_ = true;
    Act();
  }

  bool Acted() const { return acted_; }
  int DestroyEvents() const { return destroyEvents_; }

 private:
  HRESULT Verb(LONG verb) {
    return Borrow<IOleObject>(control_, IID_IOleObject)
        ->DoVerb(verb, nullptr, site_.Get(), 0, parent_, &site_->position);
  }

  void TakeStep() {
    switch (scenario_.step) {
      case Step::Nothing:
        break;
      case Step::Click: {
        HWND window = nullptr;
        ASSERT_EQ(Borrow<IOleInPlaceObject>(control_, IID_IOleInPlaceObject)->GetWindow(&window), S_OK);
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        break;
      }
      case Step::InPlaceDeactivate:
        EXPECT_EQ(Borrow<IOleInPlaceObject>(control_, IID_IOleInPlaceObject)->InPlaceDeactivate(), S_OK);
        break;
      case Step::Close:
        EXPECT_EQ(Borrow<IOleObject>(control_, IID_IOleObject)->Close(OLECLOSE_NOSAVE), S_OK);
        break;
      case Step::Hide:
        EXPECT_EQ(Verb(OLEIVERB_HIDE), S_OK);
        break;
      case Step::Resize: {
        SIZEL size{5000, 3000};
        EXPECT_EQ(Borrow<IOleObject>(control_, IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &size), S_OK);
        break;
      }
      case Step::ReleaseWhileActive:
        DropReference();
        break;
    }
  }

  // Inside a notice the control is alive: raw_ reaches it even once the
  // container has let its reference go.
  void Act() {
    switch (scenario_.act) {
      case Act::Nothing:
        break;
      case Act::Release:
        DropReference();
        break;
      case Act::Unadvise: {
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(Borrow<IConnectionPointContainer>(raw_, IID_IConnectionPointContainer)
                      ->FindConnectionPoint(DIID_IQELTReaderEvents, &point),
                  S_OK);
        EXPECT_EQ(point->Unadvise(cookie_), S_OK);
        break;
      }
      case Act::CallBack: {
        SIZEL extent{};
        EXPECT_EQ(Borrow<IOleObject>(raw_, IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
        BSTR version = nullptr;
        EXPECT_EQ(Borrow<IQELTReader>(raw_, IID_IQELTReader)->get_ver(&version), S_OK);
        EXPECT_STREQ(version, L"3.0");
        SysFreeString(version);
        HWND window = nullptr;
        Borrow<IOleInPlaceObject>(raw_, IID_IOleInPlaceObject)->GetWindow(&window);
        break;
      }
      case Act::Close:
        EXPECT_EQ(Borrow<IOleObject>(raw_, IID_IOleObject)->Close(OLECLOSE_NOSAVE), S_OK);
        break;
      case Act::InPlaceDeactivate:
        EXPECT_EQ(Borrow<IOleInPlaceObject>(raw_, IID_IOleInPlaceObject)->InPlaceDeactivate(), S_OK);
        break;
      case Act::UIActivate: {
        const HRESULT hr = Borrow<IOleObject>(raw_, IID_IOleObject)
                               ->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site_.Get(), 0, parent_, &site_->position);
        EXPECT_TRUE(FAILED(hr)) << "activation while being deactivated answered " << hr;
        break;
      }
      case Act::ReleaseTooOften:
        raw_->Release();
        break;
    }
  }

  void DropReference() {
    IUnknown* last = control_;
    control_ = nullptr;
    last->Release();
  }

  const Scenario& scenario_;
  HWND parent_ = nullptr;
  ComPtr<Site> site_;
  ComPtr<EventSink> events_;
  ComPtr<ViewSink> view_;
  IUnknown* control_ = nullptr;  // the container's one reference, while held
  IUnknown* raw_ = nullptr;      // the same control, never owned
  DWORD cookie_ = 0;
  bool acted_ = false;
  int destroyEvents_ = 0;
};

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  host->Notice(static_cast<When>(id));
  return S_OK;
}

STDMETHODIMP_(void) ViewSink::OnViewChange(DWORD, LONG) { host->Notice(When::ViewChange); }

bool HeapsAreSound() {
  std::vector<HANDLE> heaps(16);
  DWORD count = 0;
  while ((count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data())) > heaps.size())
    heaps.resize(count);
  for (DWORD i = 0; i < count; ++i)
    if (!HeapValidate(heaps[i], 0, nullptr)) return false;
  return true;
}

class HostActsInsideAnEvent : public ::testing::TestWithParam<Scenario> {
 protected:
  static void SetUpTestSuite() { RegisterVirtualCard(); }

  CardProfile profile_{"pin=1234\n"};
  win::ComScope com_;
  MessageBoxWatch boxes_;
  OcxModule module_;
};

TEST_P(HostActsInsideAnEvent, ControlEndsCleanly) {
  const Scenario& scenario = GetParam();
  {
    Host host(scenario);
    host.Live(module_);
    EXPECT_TRUE(host.Acted() || scenario.when == When::Never) << "the host never acted";
    // The destroy event, once, to a sink still connected.
    const bool disconnected = scenario.act == Act::Unadvise && scenario.when != When::Destroy;
    EXPECT_EQ(host.DestroyEvents(), disconnected ? 0 : 1);
    host.LetGo();
  }
  EXPECT_EQ(g_containerObjects, 0) << "the control still holds objects of its container";
  EXPECT_EQ(module_.CanUnloadNow(), S_OK) << "a control object is left";
  EXPECT_TRUE(HeapsAreSound());
  EXPECT_TRUE(boxes_.Boxes().empty()) << "unexpected message box";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, HostActsInsideAnEvent, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
