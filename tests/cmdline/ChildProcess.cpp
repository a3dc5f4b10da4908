#include "ChildProcess.h"

#include "win/Resources.h"

namespace qelt::test {

DWORD RunProcess(const std::string& commandLine, std::string& out, std::string& err) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return ~0u;
  win::UniqueHandle reader(readEnd), writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  char folder[MAX_PATH], errPath[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  GetTempFileNameA(folder, "err", 0, errPath);
  HANDLE errFile = CreateFileA(errPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  win::UniqueHandle errOwner(errFile == INVALID_HANDLE_VALUE ? nullptr : errFile);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = errOwner.get();
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return ~0u;
  win::UniqueHandle processOwner(process.hProcess), threadOwner(process.hThread);
  writer.reset();  // the child holds the only write end now

  out.clear();
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(reader.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) out.append(chunk, got);
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = ~0u;
  GetExitCodeProcess(process.hProcess, &code);

  err.clear();
  SetFilePointer(errOwner.get(), 0, nullptr, FILE_BEGIN);
  while (ReadFile(errOwner.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) err.append(chunk, got);
  return code;
}

}  // namespace qelt::test
