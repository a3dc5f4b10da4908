#include "InputFile.h"

#include <windows.h>

#include "Exception.h"
#include "FilePaths.h"
#include "InputText.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt {
namespace {

[[noreturn]] void FailOpen(const std::string& name, DWORD error) {
  throw Exception("Cannot open file \"" + FullPath(name) + "\". " + win::SystemMessage(error));
}

}  // namespace

std::string ReadInputFile(const std::string& name) {
  const HANDLE opened = ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) FailOpen(name, ::GetLastError());
  const win::UniqueHandle file(opened);
  std::string bytes;
  char chunk[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) FailOpen(name, ::GetLastError());
    if (got == 0) break;
    bytes.append(chunk, got);
  }
  return NormaliseInputText(bytes);
}

}  // namespace qelt
