// Registration as data: the rows registration writes and the keys
// unregistration removes, walked under a root key that tests may choose.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ControlClass.h"

namespace qelt::control {

struct RegistryRow {
  std::wstring key;    // below the root
  std::wstring value;  // the key's default value
};

// The entries for the control, in the order they are written.
std::vector<RegistryRow> ControlRegistryRows(const ControlClass& control, const std::wstring& modulePath);
// The keys unregistration deletes, in order.
std::vector<std::wstring> ControlRegistryKeys(const ControlClass& control);

// Creates or opens each key and sets its default value; the first failure
// throws "Error creating system registry entry", leaving what was written.
void WriteRegistryRows(HKEY root, const std::vector<RegistryRow>& rows);
// Deletes each key that has no subkeys left; a missing key or one that
// cannot be deleted is passed over.
void DeleteRegistryKeys(HKEY root, const std::vector<std::wstring>& keys);

// The whole of DllRegisterServer and DllUnregisterServer: the type library
// with the platform, then the rows under root.
void RegisterServer(HKEY root);
void UnregisterServer(HKEY root);

}  // namespace qelt::control
