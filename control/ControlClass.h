// The control's class registration: what the server takes from the type
// library (class name, description, ProgID, interfaces) and keeps.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <oleidl.h>

#include <string>

#include "win/Resources.h"

namespace qelt::control {

// The OLE status bits of the content aspect: the two the control asks for
// (simple frame, acts like a label) and the five every control of its kind has.
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_ACTSLIKELABEL | OLEMISC_SIMPLEFRAME |
                              OLEMISC_SETCLIENTSITEFIRST;
static_assert(kMiscStatus == 0x32191, "OLE status bits");

// The one verb, number 0: shown on the container's menu.
constexpr const wchar_t* kVerbName = L"Properties";
constexpr DWORD kVerbMenuFlags = 0;
constexpr DWORD kVerbAttributes = OLEVERBATTRIB_ONCONTAINERMENU;

// The persistent properties, in the order a property bag is read.
constexpr const wchar_t* kPersistentProperties[] = {L"proxyServer", L"proxyPort", L"proxyUser", L"proxyPass"};

struct ControlClass {
  CLSID classId{};
  std::wstring className;    // the coclass name
  std::wstring description;  // the coclass help string
  std::wstring progId;       // library name "." class name
  GUID libraryId{};
  WORD majorVersion = 0, minorVersion = 0;
  LCID lcid = 0;
  IID dispatchIid{};  // the coclass's default interface
  IID eventIid{};     // its default source interface
  win::ComPtr<ITypeLib> library;
  win::ComPtr<ITypeInfo> coclass;
  win::ComPtr<ITypeInfo> dispatch;  // the dispatch side of the default interface
  win::ComPtr<ITypeInfo> vtable;    // its vtable side, used to invoke members
  win::ComPtr<ITypeInfo> events;

  // Reads the facts of the control class from a loaded library.
  static ControlClass FromLibrary(ITypeLib* library, const CLSID& classId);
};

// The control's class, from the type library in this module; made on first use.
const ControlClass& TheControlClass();

}  // namespace qelt::control
