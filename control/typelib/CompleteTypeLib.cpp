// Build-time tool: copies the library that widl compiled from the IDL into a
// new one through ICreateTypeLib2, adding the two facts widl cannot express:
// the dispinterface carries the library's version like every other type, and
// each enumeration value carries its own name as help string.
//
//   CompleteTypeLib IN.tlb OUT.tlb
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "win/Architecture.h"
#include "win/Resources.h"

using qelt::win::ComPtr;
using qelt::win::ComScope;
using qelt::win::UniqueBstr;

namespace {

struct Failure : std::runtime_error {
  Failure(const std::string& what, HRESULT hr) : std::runtime_error(what), hr(hr) {}
  HRESULT hr;
};

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw Failure(what, hr);
}

// Unix paths from the build reach Wine as drive Z: paths.
std::wstring WindowsPath(const char* path) {
  std::wstring out = path[0] == '/' ? L"Z:" : L"";
  for (const char* p = path; *p; ++p) out.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
  return out;
}

template <typename Attr, typename Releaser>
class Scoped {
 public:
  Scoped(Attr* attr, Releaser release) : attr_(attr), release_(release) {}
  ~Scoped() { if (attr_) release_(attr_); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  Attr* operator->() const { return attr_; }
  Attr* get() const { return attr_; }

 private:
  Attr* attr_;
  Releaser release_;
};

auto TypeAttr(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  Check(info->GetTypeAttr(&attr), "GetTypeAttr");
  return Scoped(attr, [info](TYPEATTR* a) { info->ReleaseTypeAttr(a); });
}

// Names handed out by GetNames or GetDocumentation: freed together.
struct BstrList {
  explicit BstrList(size_t size) : items(size, nullptr) {}
  ~BstrList() {
    for (BSTR item : items) ::SysFreeString(item);
  }
  BstrList(const BstrList&) = delete;
  BstrList& operator=(const BstrList&) = delete;
  std::vector<BSTR> items;
};

struct Documentation {
  UniqueBstr name, doc;
  DWORD helpContext = 0;
};

Documentation Document(ITypeInfo* info, MEMBERID member) {
  Documentation d;
  Check(info->GetDocumentation(member, d.name.put(), d.doc.put(), &d.helpContext, nullptr), "GetDocumentation");
  return d;
}

bool RefersTo(const TYPEDESC& type, VARTYPE vt) {
  const TYPEDESC* t = &type;
  while (t->vt == VT_PTR || t->vt == VT_SAFEARRAY) t = t->lptdesc;
  return t->vt == vt;
}

class Completer {
 public:
  Completer(ITypeLib* source, ICreateTypeLib2* target) : source_(source), target_(target) {}

  void Run() {
    CopyLibraryAttributes();
    const UINT count = source_->GetTypeInfoCount();
    // Every type first, so that references between them can be made.
    for (UINT i = 0; i < count; ++i) created_.push_back(CreateType(i));
    for (UINT i = 0; i < count; ++i) FillType(i);
    for (auto& info : created_) Check(info->LayOut(), "LayOut");
    Check(target_->SaveAllChanges(), "SaveAllChanges");
  }

  // Indexes and member counts of the pure dispinterfaces.
  std::vector<std::pair<UINT, WORD>> Dispinterfaces() {
    std::vector<std::pair<UINT, WORD>> out;
    for (UINT i = 0; i < source_->GetTypeInfoCount(); ++i) {
      ComPtr<ITypeInfo> info;
      Check(source_->GetTypeInfo(i, &info), "GetTypeInfo");
      auto attr = TypeAttr(info.Get());
      if (attr->typekind == TKIND_DISPATCH && !(attr->wTypeFlags & TYPEFLAG_FDUAL)) out.emplace_back(i, attr->cFuncs);
    }
    return out;
  }

  // The library's own flags, as the IDL gives them.
  WORD LibFlags() const { return libFlags_; }

 private:
  void CopyLibraryAttributes() {
    TLIBATTR* raw = nullptr;
    Check(source_->GetLibAttr(&raw), "GetLibAttr");
    Scoped attr(raw, [this](TLIBATTR* a) { source_->ReleaseTLibAttr(a); });
    Check(target_->SetGuid(attr->guid), "SetGuid");
    Check(target_->SetLcid(attr->lcid), "SetLcid");
    Check(target_->SetVersion(attr->wMajorVerNum, attr->wMinorVerNum), "SetVersion");
    Check(target_->SetLibFlags(attr->wLibFlags), "SetLibFlags");
    libFlags_ = attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE;
    major_ = attr->wMajorVerNum;
    minor_ = attr->wMinorVerNum;

    UniqueBstr name, doc, helpFile;
    DWORD context = 0;
    Check(source_->GetDocumentation(-1, name.put(), doc.put(), &context, helpFile.put()), "GetDocumentation");
    Check(target_->SetName(name.get()), "SetName");
    if (doc) Check(target_->SetDocString(doc.get()), "SetDocString");
    if (helpFile) Check(target_->SetHelpFileName(helpFile.get()), "SetHelpFileName");
    Check(target_->SetHelpContext(context), "SetHelpContext");
  }

  // The type whose members and bases are copied: for a dual interface that
  // is its vtable side.
  ComPtr<ITypeInfo> SourceType(UINT index) {
    ComPtr<ITypeInfo> info;
    Check(source_->GetTypeInfo(index, &info), "GetTypeInfo");
    auto attr = TypeAttr(info.Get());
    if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
      HREFTYPE vtableSide = 0;
      Check(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide), "GetRefTypeOfImplType(-1)");
      ComPtr<ITypeInfo> iface;
      Check(info->GetRefTypeInfo(vtableSide, &iface), "GetRefTypeInfo");
      return iface;
    }
    return info;
  }

  ComPtr<ICreateTypeInfo2> CreateType(UINT index) {
    ComPtr<ITypeInfo> info = SourceType(index);
    auto attr = TypeAttr(info.Get());
    const Documentation doc = Document(info.Get(), MEMBERID_NIL);
    ComPtr<ICreateTypeInfo> created;
    Check(target_->CreateTypeInfo(doc.name.get(), attr->typekind, &created), "CreateTypeInfo");
    ComPtr<ICreateTypeInfo2> type;
    Check(created.As(&type), "ICreateTypeInfo2");
    Check(type->SetGuid(attr->guid), "SetGuid");
    // A pure dispinterface gets the library's version, like every other type.
    const bool versionless = attr->typekind == TKIND_DISPATCH && attr->wMajorVerNum == 0 && attr->wMinorVerNum == 0;
    Check(type->SetVersion(versionless ? major_ : attr->wMajorVerNum, versionless ? minor_ : attr->wMinorVerNum),
          "SetVersion");
    if (doc.doc) Check(type->SetDocString(doc.doc.get()), "SetDocString");
    Check(type->SetHelpContext(doc.helpContext), "SetHelpContext");
    return type;
  }

  void FillType(UINT index) {
    ComPtr<ITypeInfo> info = SourceType(index);
    ICreateTypeInfo2* type = created_[index].Get();
    auto attr = TypeAttr(info.Get());
    // A dispinterface's IDispatch base is implied; written out it would read
    // back as a wrapped interface whose methods precede the members.
    if (attr->typekind != TKIND_DISPATCH)
      for (UINT i = 0; i < attr->cImplTypes; ++i) CopyImplType(info.Get(), type, i, attr->typekind);
    // Flags after the bases: a dual flag makes the target refer to IDispatch itself.
    Check(type->SetTypeFlags(attr->wTypeFlags), "SetTypeFlags");
    for (UINT i = 0; i < attr->cFuncs; ++i) CopyFunction(info.Get(), type, i);
    for (UINT i = 0; i < attr->cVars; ++i) CopyVariable(info.Get(), type, i, attr->typekind);
  }

  // A referenced type of this library maps to its copy; any other stays a
  // reference into its own library (stdole2's IDispatch).
  HREFTYPE MapReference(ITypeInfo* from, HREFTYPE ref, ICreateTypeInfo2* type) {
    ComPtr<ITypeInfo> referenced;
    Check(from->GetRefTypeInfo(ref, &referenced), "GetRefTypeInfo");
    ComPtr<ITypeLib> lib;
    UINT index = 0;
    Check(referenced->GetContainingTypeLib(&lib, &index), "GetContainingTypeLib");
    if (lib.Get() == source_) {
      Check(created_[index].As(&referenced), "ITypeInfo of a created type");
    }
    HREFTYPE mapped = 0;
    Check(type->AddRefTypeInfo(referenced.Get(), &mapped), "AddRefTypeInfo");
    return mapped;
  }

  void CopyImplType(ITypeInfo* info, ICreateTypeInfo2* type, UINT i, TYPEKIND kind) {
    HREFTYPE ref = 0;
    Check(info->GetRefTypeOfImplType(i, &ref), "GetRefTypeOfImplType");
    Check(type->AddImplType(i, MapReference(info, ref, type)), "AddImplType");
    if (kind == TKIND_COCLASS) {
      INT flags = 0;
      Check(info->GetImplTypeFlags(i, &flags), "GetImplTypeFlags");
      Check(type->SetImplTypeFlags(i, flags), "SetImplTypeFlags");
    }
  }

  void CopyFunction(ITypeInfo* info, ICreateTypeInfo2* type, UINT i) {
    FUNCDESC* raw = nullptr;
    Check(info->GetFuncDesc(i, &raw), "GetFuncDesc");
    Scoped func(raw, [info](FUNCDESC* f) { info->ReleaseFuncDesc(f); });
    for (SHORT p = 0; p < func->cParams; ++p)
      if (RefersTo(func->lprgelemdescParam[p].tdesc, VT_USERDEFINED))
        throw Failure("parameters of user-defined types are not copied", E_NOTIMPL);
    if (RefersTo(func->elemdescFunc.tdesc, VT_USERDEFINED))
      throw Failure("results of user-defined types are not copied", E_NOTIMPL);
    Check(type->AddFuncDesc(i, func.get()), "AddFuncDesc");

    // A putter's value parameter has no name; GetNames by member id finds
    // the getter of a property, so a putter names only itself.
    const bool putter = func->invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
    BstrList names(static_cast<size_t>(func->cParams) + 1);
    UINT count = 0;
    if (putter) {
      Check(info->GetDocumentation(func->memid, &names.items[0], nullptr, nullptr, nullptr), "GetDocumentation");
      count = 1;
    } else {
      Check(info->GetNames(func->memid, names.items.data(), static_cast<UINT>(names.items.size()), &count),
            "GetNames");
    }
    Check(type->SetFuncAndParamNames(i, names.items.data(), count), "SetFuncAndParamNames");

    const Documentation doc = Document(info, func->memid);
    if (doc.doc) Check(type->SetFuncDocString(i, doc.doc.get()), "SetFuncDocString");
    if (doc.helpContext) Check(type->SetFuncHelpContext(i, doc.helpContext), "SetFuncHelpContext");
  }

  void CopyVariable(ITypeInfo* info, ICreateTypeInfo2* type, UINT i, TYPEKIND kind) {
    VARDESC* raw = nullptr;
    Check(info->GetVarDesc(i, &raw), "GetVarDesc");
    Scoped var(raw, [info](VARDESC* v) { info->ReleaseVarDesc(v); });
    Check(type->AddVarDesc(i, var.get()), "AddVarDesc");
    const Documentation doc = Document(info, var->memid);
    Check(type->SetVarName(i, doc.name.get()), "SetVarName");
    // An enumeration value's help string is its own name.
    BSTR help = kind == TKIND_ENUM ? doc.name.get() : doc.doc.get();
    if (help) Check(type->SetVarDocString(i, help), "SetVarDocString");
    if (doc.helpContext) Check(type->SetVarHelpContext(i, doc.helpContext), "SetVarHelpContext");
  }

  ITypeLib* source_;
  ICreateTypeLib2* target_;
  std::vector<ComPtr<ICreateTypeInfo2>> created_;
  WORD major_ = 0, minor_ = 0;
  WORD libFlags_ = 0;
};

}  // namespace

// Two things the platform's writer stores otherwise than the IDL compiler:
// - the library flags: it adds "has a disk image", which registration would
//   then write into the library's FLAGS value; the header gets the IDL's own.
// - a dispinterface's vtable size: IDispatch's plus one slot per member, and
//   its reader then counts IDispatch's seven methods among the members. Each
//   dispinterface record is set as the IDL compiler writes it: one slot per
//   member, and one implied base (IDispatch) without a reference.
void FixWriterQuirks(const std::wstring& path, WORD libFlags,
                     const std::vector<std::pair<UINT, WORD>>& dispinterfaces) {
  HANDLE raw = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (raw == INVALID_HANDLE_VALUE) throw Failure("opening the library", HRESULT_FROM_WIN32(::GetLastError()));
  qelt::win::UniqueHandle file(raw);
  const DWORD size = ::GetFileSize(file.get(), nullptr);
  std::vector<BYTE> data(size);
  DWORD done = 0;
  if (!::ReadFile(file.get(), data.data(), size, &done, nullptr) || done != size) throw Failure("reading", E_FAIL);
  auto dword = [&](size_t at) {
    if (at + 4 > data.size()) throw Failure("library layout", E_FAIL);
    DWORD v;
    memcpy(&v, &data[at], 4);
    return v;
  };
  // Header: 0x54 bytes, a help DLL name when flagged, one offset per type,
  // then the segment directory whose first segment holds the type records.
  const DWORD varFlags = dword(0x14), types = dword(0x20);
  const DWORD headerFlags = libFlags;
  memcpy(&data[0x1C], &headerFlags, 4);  // within the header dword(0x20) just read
  const size_t directory = 0x54 + ((varFlags & 0x100) ? 4 : 0) + 4 * types;
  const size_t typeRecords = dword(directory);
  for (const auto& [index, members] : dispinterfaces) {
    const size_t record = typeRecords + 0x64 * index;
    if (record + 0x64 > data.size()) throw Failure("library layout", E_FAIL);
    const WORD implTypes = 1, vtableSize = static_cast<WORD>(members * sizeof(void*));
    memcpy(&data[record + 0x4C], &implTypes, 2);
    memcpy(&data[record + 0x4E], &vtableSize, 2);
  }
  ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
  if (!::WriteFile(file.get(), data.data(), size, &done, nullptr) || done != size) throw Failure("writing", E_FAIL);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: CompleteTypeLib IN.tlb OUT.tlb\n");
    return 2;
  }
  ComScope com;
  try {
    ComPtr<ITypeLib> source;
    Check(::LoadTypeLibEx(WindowsPath(argv[1]).c_str(), REGKIND_NONE, &source), "LoadTypeLibEx");
    const std::wstring out = WindowsPath(argv[2]);
    ::DeleteFileW(out.c_str());
    ComPtr<ICreateTypeLib2> target;
    Check(::CreateTypeLib2(qelt::win::kModuleSysKind, out.c_str(), &target), "CreateTypeLib2");
    Completer completer(source.Get(), target.Get());
    completer.Run();
    target.Reset();
    FixWriterQuirks(out, completer.LibFlags(), completer.Dispinterfaces());
    return 0;
  } catch (const Failure& e) {
    std::fprintf(stderr, "CompleteTypeLib: %s failed (0x%08lX)\n", e.what(), static_cast<unsigned long>(e.hr));
    return 1;
  }
}
