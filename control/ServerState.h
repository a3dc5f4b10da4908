// What the in-process server counts and where it lives: the module may be
// unloaded once no control object, server lock or factory reference is left.
#pragma once
#include <windows.h>

#include <string>

namespace qelt::control::server {

void ObjectCreated();
void ObjectDestroyed();
void LockTaken();
void LockReleased();
void FactoryReferenced();
void FactoryReleased();
bool CanUnload();

// The module that holds this code, and its full path in the long form.
HMODULE Module();
std::wstring ModulePath();

}  // namespace qelt::control::server
