// This program's file version, as its version resource gives it ("3.0.1.0").
#pragma once
#include <string>

namespace qelt::bridge {

std::string ModuleVersion();

}  // namespace qelt::bridge
