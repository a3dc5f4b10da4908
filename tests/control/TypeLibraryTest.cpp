// The type library read back from the built module through the platform's
// type-library interfaces: every fact a host binds to.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "QELTReaderProj1.h"
#include "TestSupport.h"
#include "win/Architecture.h"
#include "win/Resources.h"

using qelt::win::ComPtr;
using qelt::win::UniqueBstr;

namespace {

const GUID kStdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kBorderStyle = {0x1DD5FFCE, 0x6F87, 0x4740, {0xA2, 0x09, 0x11, 0x5A, 0xCA, 0x32, 0x0A, 0x40}};
const GUID kPrintScale = {0x45C61D8A, 0xF251, 0x49BA, {0x8C, 0x56, 0x16, 0x82, 0xEB, 0xDB, 0xF4, 0x70}};
const GUID kMouseButton = {0x81DD499B, 0xB071, 0x4BED, {0x8C, 0x3A, 0x78, 0x93, 0xC8, 0xF6, 0x9C, 0xFE}};

std::wstring Name(ITypeInfo* info, MEMBERID member, std::wstring* doc = nullptr) {
  UniqueBstr name, text;
  EXPECT_EQ(info->GetDocumentation(member, name.put(), text.put(), nullptr, nullptr), S_OK);
  if (doc) *doc = text ? text.get() : L"(none)";
  return name ? name.get() : L"";
}

struct Attr {
  explicit Attr(ITypeInfo* info) : info_(info) { EXPECT_EQ(info->GetTypeAttr(&attr), S_OK); }
  ~Attr() { info_->ReleaseTypeAttr(attr); }
  TYPEATTR* operator->() const { return attr; }
  ITypeInfo* info_;
  TYPEATTR* attr = nullptr;
};

struct Func {
  Func(ITypeInfo* info, UINT i) : info_(info) { EXPECT_EQ(info->GetFuncDesc(i, &desc), S_OK); }
  ~Func() { info_->ReleaseFuncDesc(desc); }
  FUNCDESC* operator->() const { return desc; }
  ITypeInfo* info_;
  FUNCDESC* desc = nullptr;
};

std::vector<std::wstring> Names(ITypeInfo* info, MEMBERID member) {
  BSTR names[4] = {};
  UINT count = 0;
  EXPECT_EQ(info->GetNames(member, names, 4, &count), S_OK);
  std::vector<std::wstring> out;
  for (UINT i = 0; i < count; ++i) {
    out.push_back(names[i]);
    SysFreeString(names[i]);
  }
  return out;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLibEx(qelt::test::WinPath(QELT_OCX).c_str(), REGKIND_NONE, &lib_), S_OK);
  }
  ComPtr<ITypeInfo> Type(UINT index) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(lib_->GetTypeInfo(index, &info), S_OK);
    return info;
  }
  qelt::win::ComScope com_;
  ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibrary, LibraryAttributesAndTypeOrder) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, LIBID_QELTReaderProj1);
  EXPECT_EQ(attr->lcid, 0u);
  EXPECT_EQ(attr->syskind, qelt::win::kModuleSysKind);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  // The loader adds that the library came from a file (the file itself holds the control flag alone).
  EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, LIBFLAG_FCONTROL);
  lib_->ReleaseTLibAttr(attr);

  UniqueBstr name, doc, helpFile;
  ASSERT_EQ(lib_->GetDocumentation(-1, name.put(), doc.put(), nullptr, helpFile.put()), S_OK);
  EXPECT_STREQ(name.get(), L"QELTReaderProj1");
  EXPECT_STREQ(doc.get(), L"QELTReaderProj1 Library");
  EXPECT_FALSE(helpFile);

  struct Expected { const wchar_t* name; TYPEKIND kind; WORD flags; const wchar_t* doc; };
  const Expected types[] = {
      // The dispatch side of a dual interface never reports automation
      // compatibility; its vtable side does (below).
      {L"IQELTReader", TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
       L"Dispatch interface for QELTReader Control"},
      {L"IQELTReaderEvents", TKIND_DISPATCH, TYPEFLAG_FDISPATCHABLE, L"Events interface for QELTReader Control"},
      {L"QELTReader", TKIND_COCLASS, TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, L"QELTReader Control"},
      {L"TxActiveFormBorderStyle", TKIND_ENUM, 0, L"(none)"},
      {L"TxPrintScale", TKIND_ENUM, 0, L"(none)"},
      {L"TxMouseButton", TKIND_ENUM, 0, L"(none)"},
  };
  ASSERT_EQ(lib_->GetTypeInfoCount(), 6u);
  for (UINT i = 0; i < 6; ++i) {
    ComPtr<ITypeInfo> info = Type(i);
    std::wstring doc;
    EXPECT_EQ(Name(info.Get(), MEMBERID_NIL, &doc), types[i].name);
    EXPECT_EQ(doc, types[i].doc) << i;
    Attr a(info.Get());
    EXPECT_EQ(a->typekind, types[i].kind) << i;
    EXPECT_EQ(a->wTypeFlags, types[i].flags) << i;
    EXPECT_EQ(a->wMajorVerNum, 1) << i;  // every type, the dispinterface included
    EXPECT_EQ(a->wMinorVerNum, 0) << i;
    EXPECT_EQ(a->lcid, 0u) << i;
  }
}

TEST_F(TypeLibrary, DualInterfaceVtableAndDispids) {
  ComPtr<ITypeInfo> dispatchSide;
  ASSERT_EQ(lib_->GetTypeInfoOfGuid(IID_IQELTReader, &dispatchSide), S_OK);
  HREFTYPE ref = 0;
  ASSERT_EQ(dispatchSide->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ComPtr<ITypeInfo> vtable;
  ASSERT_EQ(dispatchSide->GetRefTypeInfo(ref, &vtable), S_OK);
  Attr attr(vtable.Get());
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(attr->cbSizeVft, 31 * sizeof(void*));
  ASSERT_EQ(attr->cFuncs, 24);
  ASSERT_EQ(attr->cImplTypes, 1);

  // The base is IDispatch of the imported standard library.
  ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &ref), S_OK);
  ComPtr<ITypeInfo> base;
  ASSERT_EQ(vtable->GetRefTypeInfo(ref, &base), S_OK);
  EXPECT_EQ(Attr(base.Get())->guid, IID_IDispatch);
  ComPtr<ITypeLib> baseLib;
  UINT index = 0;
  ASSERT_EQ(base->GetContainingTypeLib(&baseLib, &index), S_OK);
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(baseLib->GetLibAttr(&libAttr), S_OK);
  EXPECT_EQ(libAttr->guid, kStdOle);
  EXPECT_EQ(libAttr->wMajorVerNum, 2);
  baseLib->ReleaseTLibAttr(libAttr);

  enum Param { kNone, kInVariant, kOutVariant, kOutLong, kInLong, kOutBstr, kInVariantUnnamed };
  struct Member { int slot; DISPID id; INVOKEKIND kind; const wchar_t* name; Param param; };
  const INVOKEKIND M = INVOKE_FUNC, G = INVOKE_PROPERTYGET, P = INVOKE_PROPERTYPUT;
  const Member members[] = {
      {7, 201, M, L"readCard", kNone},          {8, 202, M, L"checkCard", kInVariant},
      {9, 203, M, L"checkPin", kInVariant},     {10, 204, M, L"checkXKMS", kNone},
      {11, 205, G, L"serialNumber", kOutVariant}, {12, 206, G, L"ICCardID", kOutVariant},
      {13, 207, G, L"issuerName", kOutVariant}, {14, 208, G, L"subjectName", kOutVariant},
      {15, 209, G, L"name", kOutVariant},       {16, 210, G, L"idno", kOutVariant},
      {17, 211, G, L"usage", kOutVariant},      {18, 212, G, L"email", kOutVariant},
      {19, 213, G, L"notBefore", kOutVariant},  {20, 214, G, L"notAfter", kOutVariant},
      {21, 216, G, L"cardIssType", kOutVariant}, {22, 215, G, L"proxyServer", kOutVariant},
      {23, 215, P, L"proxyServer", kInVariantUnnamed}, {24, 217, G, L"proxyPort", kOutLong},
      {25, 217, P, L"proxyPort", kInLong},      {26, 218, G, L"proxyUser", kOutVariant},
      {27, 218, P, L"proxyUser", kInVariantUnnamed}, {28, 219, G, L"proxyPass", kOutVariant},
      {29, 219, P, L"proxyPass", kInVariantUnnamed}, {30, 220, G, L"ver", kOutBstr},
  };
  for (UINT i = 0; i < 24; ++i) {
    const Member& m = members[i];
    SCOPED_TRACE(m.name);
    Func f(vtable.Get(), i);
    EXPECT_EQ(f->oVft, m.slot * sizeof(void*));
    EXPECT_EQ(f->memid, m.id);
    EXPECT_EQ(f->invkind, m.kind);
    EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(f->callconv, CC_STDCALL);
    EXPECT_EQ(f->wFuncFlags, 0);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
    std::wstring doc;
    EXPECT_EQ(Name(vtable.Get(), m.id, &doc), m.name);
    EXPECT_EQ(doc, L"(none)");
    if (m.param == kNone) {
      EXPECT_EQ(f->cParams, 0);
      continue;
    }
    ASSERT_EQ(f->cParams, 1);
    const ELEMDESC& p = f->lprgelemdescParam[0];
    const bool out = m.param == kOutVariant || m.param == kOutLong || m.param == kOutBstr;
    EXPECT_EQ(p.paramdesc.wParamFlags, out ? (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL) : PARAMFLAG_FIN);
    const VARTYPE vt = out ? p.tdesc.lptdesc->vt : p.tdesc.vt;
    if (out) {
      EXPECT_EQ(p.tdesc.vt, VT_PTR);
    }
    const VARTYPE expected = (m.param == kOutLong || m.param == kInLong) ? VT_I4
                             : m.param == kOutBstr                       ? VT_BSTR
                                                                         : VT_VARIANT;
    EXPECT_EQ(vt, expected);
    if (m.kind == P) continue;  // GetNames by id finds the getter of a property
    const auto names = Names(vtable.Get(), m.id);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1], m.param == kInVariant ? L"pin" : L"Value");
  }

  // The putters' value parameter has no name: ITypeInfo2 reaches them by index.
  ComPtr<ITypeInfo2> info2;
  ASSERT_EQ(vtable.As(&info2), S_OK);
  UINT putter = 0;
  ASSERT_EQ(info2->GetFuncIndexOfMemId(215, INVOKE_PROPERTYPUT, &putter), S_OK);
  EXPECT_EQ(putter, 16u);
}

TEST_F(TypeLibrary, DispatchSideOfTheDualInterface) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib_->GetTypeInfoOfGuid(IID_IQELTReader, &info), S_OK);
  MEMBERID id = 0;
  for (const wchar_t* name : {L"READCARD", L"iccardid", L"ProxyPort", L"ver"}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK) << name;
  }
  EXPECT_EQ(id, 220);
  Attr attr(info.Get());
  EXPECT_EQ(attr->guid, IID_IQELTReader);
  EXPECT_EQ(attr->cFuncs, 7 + 24);  // IUnknown and IDispatch members come first
}

TEST_F(TypeLibrary, EventInterface) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib_->GetTypeInfoOfGuid(DIID_IQELTReaderEvents, &info), S_OK);
  Attr attr(info.Get());
  ASSERT_EQ(attr->cFuncs, 8);
  ASSERT_EQ(attr->cImplTypes, 1);
  HREFTYPE ref = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
  ComPtr<ITypeInfo> base;
  ASSERT_EQ(info->GetRefTypeInfo(ref, &base), S_OK);
  EXPECT_EQ(Attr(base.Get())->guid, IID_IDispatch);
  const wchar_t* names[] = {L"OnActivate", L"OnClick", L"OnCreate", L"OnDblClick",
                            L"OnDestroy", L"OnDeactivate", L"OnKeyPress", L"OnPaint"};
  for (UINT i = 0; i < 8; ++i) {
    Func f(info.Get(), i);
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(f->memid, static_cast<MEMBERID>(201 + i));
    EXPECT_EQ(f->funckind, FUNC_DISPATCH);
    EXPECT_EQ(f->invkind, INVOKE_FUNC);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_VOID);
    std::wstring doc;
    EXPECT_EQ(Name(info.Get(), f->memid, &doc), names[i]);
    EXPECT_EQ(doc, L"(none)");
    if (f->memid != 207) {
      EXPECT_EQ(f->cParams, 0);
      continue;
    }
    ASSERT_EQ(f->cParams, 1);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_PTR);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_I2);
    EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT);
    EXPECT_EQ(Names(info.Get(), 207), (std::vector<std::wstring>{L"OnKeyPress", L"Key"}));
  }
}

TEST_F(TypeLibrary, CoclassInterfacesAndFlags) {
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(lib_->GetTypeInfoOfGuid(CLSID_QELTReader, &coclass), S_OK);
  ASSERT_EQ(Attr(coclass.Get())->cImplTypes, 2);
  const std::pair<IID, INT> expected[] = {
      {IID_IQELTReader, IMPLTYPEFLAG_FDEFAULT},
      {DIID_IQELTReaderEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
  };
  for (UINT i = 0; i < 2; ++i) {
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &ref), S_OK);
    ComPtr<ITypeInfo> iface;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, &iface), S_OK);
    EXPECT_EQ(Attr(iface.Get())->guid, expected[i].first);
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
    EXPECT_EQ(flags, expected[i].second);
  }
}

TEST_F(TypeLibrary, EnumerationValuesCarryTheirNamesAsHelp) {
  struct Value { const wchar_t* name; LONG value; };
  struct Enumeration { GUID guid; std::vector<Value> values; };
  const Enumeration enums[] = {
      {kBorderStyle, {{L"afbNone", 0}, {L"afbSingle", 1}, {L"afbSunken", 2}, {L"afbRaised", 3}}},
      {kPrintScale, {{L"poNone", 0}, {L"poProportional", 1}, {L"poPrintToFit", 2}}},
      {kMouseButton, {{L"mbLeft", 0}, {L"mbRight", 1}, {L"mbMiddle", 2}}},
  };
  for (const Enumeration& e : enums) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib_->GetTypeInfoOfGuid(e.guid, &info), S_OK);
    Attr attr(info.Get());
    ASSERT_EQ(attr->cVars, e.values.size());
    for (UINT i = 0; i < attr->cVars; ++i) {
      VARDESC* var = nullptr;
      ASSERT_EQ(info->GetVarDesc(i, &var), S_OK);
      EXPECT_EQ(var->varkind, VAR_CONST);
      EXPECT_EQ(V_VT(var->lpvarValue), VT_I4);
      EXPECT_EQ(V_I4(var->lpvarValue), e.values[i].value);
      std::wstring doc;
      EXPECT_EQ(Name(info.Get(), var->memid, &doc), e.values[i].name);
      EXPECT_EQ(doc, e.values[i].name);
      info->ReleaseVarDesc(var);
    }
  }
}

TEST(TypeLibraryResource, StoredAsTypelibOneInTheNeutralLanguage) {
  HMODULE ocx = LoadLibraryExW(qelt::test::WinPath(QELT_OCX).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(ocx, nullptr);
  HRSRC library = FindResourceExW(ocx, L"TYPELIB", MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  ASSERT_NE(library, nullptr);
  // The header's flags word (offset 0x1C) holds the control flag alone.
  ASSERT_GE(SizeofResource(ocx, library), 0x20u);
  DWORD storedFlags;
  memcpy(&storedFlags, static_cast<const BYTE*>(LockResource(LoadResource(ocx, library))) + 0x1C, sizeof storedFlags);
  EXPECT_EQ(storedFlags, DWORD{LIBFLAG_FCONTROL});
  // The toolbox picture: 16 by 15 pixels, 16 colours.
  HRSRC bitmap = FindResourceW(ocx, MAKEINTRESOURCEW(1), RT_BITMAP);
  ASSERT_NE(bitmap, nullptr);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(ocx, bitmap)));
  EXPECT_EQ(header->biWidth, 16);
  EXPECT_EQ(header->biHeight, 15);
  EXPECT_EQ(header->biBitCount, 4);
  FreeLibrary(ocx);
}

}  // namespace
