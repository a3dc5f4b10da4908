#include "ControlClass.h"

#include <memory>
#include <mutex>

#include "ComGuard.h"
#include "QELTReaderProj1.h"
#include "ServerState.h"

namespace qelt::control {

namespace {

std::wstring DocName(ITypeLib* library, INT index, std::wstring* doc = nullptr) {
  win::UniqueBstr name, text;
  ThrowIfFailed(library->GetDocumentation(index, name.put(), text.put(), nullptr, nullptr));
  if (doc) *doc = text ? text.get() : L"";
  return name ? name.get() : L"";
}

IID GuidOf(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  ThrowIfFailed(info->GetTypeAttr(&attr));
  const IID guid = attr->guid;
  info->ReleaseTypeAttr(attr);
  return guid;
}

}  // namespace

ControlClass ControlClass::FromLibrary(ITypeLib* library, const CLSID& classId) {
  ControlClass c;
  c.classId = classId;
  c.library = library;
  TLIBATTR* attr = nullptr;
  ThrowIfFailed(library->GetLibAttr(&attr));
  c.libraryId = attr->guid;
  c.majorVersion = attr->wMajorVerNum;
  c.minorVersion = attr->wMinorVerNum;
  c.lcid = attr->lcid;
  library->ReleaseTLibAttr(attr);

  ThrowIfFailed(library->GetTypeInfoOfGuid(classId, &c.coclass));
  win::ComPtr<ITypeLib> containing;
  UINT index = 0;
  ThrowIfFailed(c.coclass->GetContainingTypeLib(&containing, &index));
  c.className = DocName(library, static_cast<INT>(index), &c.description);
  c.progId = DocName(library, -1) + L"." + c.className;

  TYPEATTR* coclassAttr = nullptr;
  ThrowIfFailed(c.coclass->GetTypeAttr(&coclassAttr));
  const UINT implTypes = coclassAttr->cImplTypes;
  c.coclass->ReleaseTypeAttr(coclassAttr);
  for (UINT i = 0; i < implTypes; ++i) {
    INT flags = 0;
    HREFTYPE ref = 0;
    ThrowIfFailed(c.coclass->GetImplTypeFlags(i, &flags));
    if (!(flags & IMPLTYPEFLAG_FDEFAULT)) continue;
    ThrowIfFailed(c.coclass->GetRefTypeOfImplType(i, &ref));
    win::ComPtr<ITypeInfo> info;
    ThrowIfFailed(c.coclass->GetRefTypeInfo(ref, &info));
    if (flags & IMPLTYPEFLAG_FSOURCE) {
      c.events = info;
      c.eventIid = GuidOf(info.Get());
    } else {
      c.dispatch = info;
      c.dispatchIid = GuidOf(info.Get());
    }
  }
  if (!c.dispatch || !c.events) throw Exception("the control class lacks its default interfaces");
  // A dual interface's members are called through its vtable side.
  HREFTYPE vtableRef = 0;
  ThrowIfFailed(c.dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef));
  ThrowIfFailed(c.dispatch->GetRefTypeInfo(vtableRef, &c.vtable));
  return c;
}

const ControlClass& TheControlClass() {
  // Loaded on first use rather than in DllMain, away from the loader lock;
  // a failed load is tried again on the next use.
  static std::mutex guard;
  static std::unique_ptr<ControlClass> control;
  std::lock_guard<std::mutex> lock(guard);
  if (!control) {
    win::ComPtr<ITypeLib> library;
    ThrowIfFailed(::LoadTypeLibEx(server::ModulePath().c_str(), REGKIND_NONE, &library));
    control = std::make_unique<ControlClass>(ControlClass::FromLibrary(library.Get(), CLSID_QELTReader));
  }
  return *control;
}

}  // namespace qelt::control
