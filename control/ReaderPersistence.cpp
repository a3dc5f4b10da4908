// Persistence: streams and storages carry the form's design (its extent);
// a property bag carries the four proxy properties.
#include "ComGuard.h"
#include "FormDesign.h"
#include "ReaderControl.h"

namespace qelt::control {

namespace {

// The design record: a tag, a format number and the extent in HIMETRIC.
#pragma pack(push, 1)
struct DesignRecord {
  char tag[4];
  WORD format;
  LONG width;
  LONG height;
};
#pragma pack(pop)
constexpr char kDesignTag[4] = {'Q', 'E', 'L', 'T'};
constexpr WORD kDesignFormat = 1;
constexpr const wchar_t* kContentsStream = L"Contents";

}  // namespace

void ReaderControl::LoadDesign(IStream* stream) {
  if (!stream) ThrowResult(E_POINTER);
  DesignRecord record{};
  ULONG read = 0;
  ThrowIfFailed(stream->Read(&record, sizeof record, &read));
  if (read != sizeof record || memcmp(record.tag, kDesignTag, sizeof kDesignTag) != 0 ||
      record.format != kDesignFormat || record.width <= 0 || record.height <= 0)
    throw ComError(E_FAIL, "The stream holds no QELTReader design");
  extent_ = SIZEL{record.width, record.height};
  dirty_ = false;
  ViewChanged();
}

void ReaderControl::SaveDesign(IStream* stream) {
  if (!stream) ThrowResult(E_POINTER);
  DesignRecord record{};
  memcpy(record.tag, kDesignTag, sizeof kDesignTag);
  record.format = kDesignFormat;
  record.width = extent_.cx;
  record.height = extent_.cy;
  ULONG written = 0;
  ThrowIfFailed(stream->Write(&record, sizeof record, &written));
  if (written != sizeof record) ThrowResult(STG_E_WRITEFAULT);
}

// IPersist, IPersistStreamInit

STDMETHODIMP ReaderControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = class_.classId;
  return S_OK;
}

STDMETHODIMP ReaderControl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP ReaderControl::Load(LPSTREAM stream) try {
  const auto keep = KeepAlive();
  LoadDesign(stream);
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::Save(LPSTREAM stream, BOOL clearDirty) try {
  const auto keep = KeepAlive();
  SaveDesign(stream);
  if (clearDirty) dirty_ = false;
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = sizeof(DesignRecord);
  return S_OK;
}

STDMETHODIMP ReaderControl::InitNew() {
  extent_ = FormExtentHimetric();
  dirty_ = false;
  return S_OK;
}

// IPersistStorage: the design lives in the storage's "Contents" stream.

STDMETHODIMP ReaderControl::InitNew(IStorage* storage) {
  if (!storage) return E_POINTER;
  return InitNew();
}

STDMETHODIMP ReaderControl::Load(IStorage* storage) try {
  const auto keep = KeepAlive();
  if (!storage) return E_POINTER;
  win::ComPtr<IStream> stream;
  ThrowIfFailed(storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream));
  LoadDesign(stream.Get());
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::Save(IStorage* storage, BOOL) try {
  const auto keep = KeepAlive();
  if (!storage) return E_POINTER;
  win::ComPtr<IStream> stream;
  ThrowIfFailed(storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                      &stream));
  SaveDesign(stream.Get());
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::SaveCompleted(IStorage*) {
  dirty_ = false;
  return S_OK;
}

STDMETHODIMP ReaderControl::HandsOffStorage() {
  return S_OK;  // no storage is held between calls
}

// IPersistPropertyBag

STDMETHODIMP ReaderControl::Load(IPropertyBag* bag, IErrorLog* log) try {
  const auto keep = KeepAlive();
  if (!bag) return E_POINTER;
  for (const wchar_t* name : kPersistentProperties) {
    win::Variant value;
    if (FAILED(bag->Read(name, &value, log))) continue;  // not in the bag
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) continue;
    PutProperty(id, value);  // a value that cannot be assigned is skipped
  }
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) try {
  const auto keep = KeepAlive();
  if (!bag) return E_POINTER;
  for (const wchar_t* name : kPersistentProperties) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    ThrowIfFailed(GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    win::Variant value;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ThrowIfFailed(Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
    ThrowIfFailed(bag->Write(name, &value));
  }
  if (clearDirty) dirty_ = false;
  return S_OK;
} catch (...) {
  return CurrentResult();
}

}  // namespace qelt::control
