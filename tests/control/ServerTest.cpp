// The in-process server: class object, factory, unload counting, and the
// registry entries of registration and unregistration (written to a
// private key: HKEY_CLASSES_ROOT of this process is redirected).
#include <gtest/gtest.h>

#include <optional>

#include "ControlFixture.h"
#include "TestSupport.h"
#include "win/Architecture.h"

using namespace qelt;
using namespace qelt::test;

namespace {

const wchar_t kClassKey[] = L"CLSID\\{D4025A2B-8E7E-419D-B403-520F5EF50059}";
const wchar_t kProgId[] = L"QELTReaderProj1.QELTReader";
const wchar_t kTypeLibKey[] = L"TypeLib\\{F4417984-BADA-4CAA-9BEF-B4E5D77E89E6}";

// HKEY_CLASSES_ROOT of this process, redirected to a fresh private key.
class PrivateClassesRoot {
 public:
  PrivateClassesRoot() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
    RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root_.put(), nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, root_.get());
  }
  ~PrivateClassesRoot() {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    root_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
  }
  std::optional<std::wstring> Value(const std::wstring& key, const wchar_t* name = nullptr) const {
    wchar_t data[1024];
    DWORD bytes = sizeof data, type = 0;
    if (RegGetValueW(root_.get(), key.c_str(), name, RRF_RT_ANY, &type, data, &bytes) != ERROR_SUCCESS)
      return std::nullopt;
    return std::wstring(data);
  }
  bool Exists(const std::wstring& key) const {
    win::UniqueKey k;
    return RegOpenKeyExW(root_.get(), key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS;
  }
  HKEY Root() const { return root_.get(); }

 private:
  static constexpr const wchar_t* kPath = L"Software\\QeltControlTestClasses";
  win::UniqueKey root_;
};

std::wstring ModulePath(const OcxModule& module) {
  wchar_t path[MAX_PATH + 1], longPath[MAX_PATH + 1];
  GetModuleFileNameW(module.Handle(), path, MAX_PATH + 1);
  GetLongPathNameW(path, longPath, MAX_PATH + 1);
  return longPath;
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

void ExpectRegistered(const PrivateClassesRoot& classes, const std::wstring& path, const std::wstring& server) {
  const std::wstring c = kClassKey, p = kProgId;
  const std::pair<std::wstring, std::wstring> rows[] = {
      {c, L"QELTReader Control"},
      {c + L"\\InprocServer32", server},
      {p, L"QELTReader Control"},
      {p + L"\\Clsid", L"{D4025A2B-8E7E-419D-B403-520F5EF50059}"},
      {c + L"\\ProgID", p},
      {c + L"\\Version", L"1.0"},
      {c + L"\\TypeLib", L"{F4417984-BADA-4CAA-9BEF-B4E5D77E89E6}"},
      {c + L"\\MiscStatus", L"0"},
      {c + L"\\MiscStatus\\1", L"205201"},
      {c + L"\\ToolboxBitmap32", path + L",1"},
      {c + L"\\Control", L""},
      {c + L"\\Verb", L""},
      {c + L"\\Verb\\0", L"Properties,0,2"},
  };
  for (const auto& [key, value] : rows) EXPECT_EQ(classes.Value(key), value) << win::WideToAnsi(key);
  EXPECT_FALSE(classes.Value(c + L"\\InprocServer32", L"ThreadingModel"));
  // The platform's own entries for the library, with our folder as help folder.
  EXPECT_EQ(classes.Value(std::wstring(kTypeLibKey) + L"\\1.0\\0\\" + win::kTypeLibPlatformKey), path);
  EXPECT_EQ(classes.Value(std::wstring(kTypeLibKey) + L"\\1.0\\HELPDIR"), Folder(path));
}

void ExpectUnregistered(const PrivateClassesRoot& classes) {
  EXPECT_FALSE(classes.Exists(kClassKey));
  EXPECT_FALSE(classes.Exists(kProgId));
  EXPECT_FALSE(classes.Exists(kTypeLibKey));
}

class Server : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterVirtualCard(); }
  win::ComScope com_;
  MessageBoxWatch boxes_;
};

TEST_F(Server, RegistrationWritesItsEntriesAgainAndUnregistrationRemovesThem) {
  PrivateClassesRoot classes;
  OcxModule module;
  const std::wstring path = ModulePath(module);
  ASSERT_EQ(path.find(L' '), std::wstring::npos);
  EXPECT_EQ(module.UnregisterServer(), S_OK);  // never registered: nothing to remove
  EXPECT_EQ(module.RegisterServer(), S_OK);
  EXPECT_EQ(module.RegisterServer(), S_OK);
  ExpectRegistered(classes, path, path);
  EXPECT_EQ(module.UnregisterServer(), S_OK);
  ExpectUnregistered(classes);
  EXPECT_EQ(module.UnregisterServer(), S_OK);
}

TEST_F(Server, UnregistrationKeepsKeysOthersAddedBelow) {
  PrivateClassesRoot classes;
  OcxModule module;
  ASSERT_EQ(module.RegisterServer(), S_OK);
  const std::wstring foreign = std::wstring(kClassKey) + L"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
  const std::wstring foreignVerb = std::wstring(kClassKey) + L"\\Verb\\0\\Extra";
  for (const std::wstring& key : {foreign, foreignVerb}) {
    win::UniqueKey k;
    ASSERT_EQ(RegCreateKeyExW(classes.Root(), key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(module.UnregisterServer(), S_OK);
  EXPECT_TRUE(classes.Exists(foreign));
  EXPECT_TRUE(classes.Exists(foreignVerb));
  EXPECT_FALSE(classes.Exists(std::wstring(kClassKey) + L"\\InprocServer32"));
  EXPECT_FALSE(classes.Exists(std::wstring(kClassKey) + L"\\MiscStatus"));
  EXPECT_FALSE(classes.Exists(kProgId));
}

TEST_F(Server, APathWithABlankRegistersItsShortForm) {
  PrivateClassesRoot classes;
  TempFolder temp;
  const std::wstring folder = temp.File(L"with blank"), copy = folder + L"\\QELTReaderProj1.ocx";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(WinPath(QELT_OCX).c_str(), copy.c_str(), FALSE));
  {
    OcxModule module(copy);
    const std::wstring path = ModulePath(module);
    wchar_t shortPath[MAX_PATH + 1];
    ASSERT_GT(GetShortPathNameW(path.c_str(), shortPath, MAX_PATH + 1), 0u);
    ASSERT_EQ(std::wstring(shortPath).find(L' '), std::wstring::npos);
    EXPECT_EQ(module.RegisterServer(), S_OK);
    ExpectRegistered(classes, path, shortPath);
    EXPECT_EQ(module.UnregisterServer(), S_OK);
    ExpectUnregistered(classes);
  }
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_F(Server, ClassObjectAndFactory) {
  OcxModule module;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(module.GetClassObject(IID_IDispatch, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(module.GetClassObject(CLSID_QELTReader, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module.GetClassObject(CLSID_QELTReader, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IQELTReader, nullptr), E_POINTER);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

// An outer object that counts the references its inner object delegates.
struct Outer : IUnknown {
  LONG refs = 1;
  ComPtr<IUnknown> inner;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

TEST_F(Server, AnAggregatedControlDelegatesToItsOuterObject) {
  OcxModule module;
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module.GetClassObject(CLSID_QELTReader, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  Outer outer;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(outer.inner.GetAddressOf())), S_OK);
  ComPtr<IQELTReader> reader;
  ASSERT_EQ(outer.inner.As(&reader), S_OK);
  EXPECT_EQ(outer.refs, 2);  // the interface counts on the outer object
  ComPtr<IUnknown> identity;
  ASSERT_EQ(reader.As(&identity), S_OK);
  EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
  identity.Reset();
  reader.Reset();
  EXPECT_EQ(outer.refs, 1);
  outer.inner.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);  // the factory is still held
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

TEST_F(Server, CanUnloadNowCountsObjectsLocksAndFactoryReferences) {
  OcxModule module;
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module.GetClassObject(CLSID_QELTReader, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  ComPtr<IQELTReader> control;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IQELTReader, reinterpret_cast<void**>(control.GetAddressOf())), S_OK);
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);  // a lock and a control
  ASSERT_EQ(module.GetClassObject(CLSID_QELTReader, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);  // the control
  control.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}  // namespace
