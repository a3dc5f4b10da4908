#include "FilePaths.h"

#include <windows.h>

namespace qelt {

std::string FullPath(const std::string& name) {
  if (name.empty()) return name;
  std::string path(MAX_PATH, '\0');
  DWORD n = ::GetFullPathNameA(name.c_str(), static_cast<DWORD>(path.size()), &path[0], nullptr);
  if (n >= path.size()) {
    path.resize(n);
    n = ::GetFullPathNameA(name.c_str(), static_cast<DWORD>(path.size()), &path[0], nullptr);
  }
  if (n == 0 || n >= path.size()) return name;
  path.resize(n);
  return path;
}

}  // namespace qelt
