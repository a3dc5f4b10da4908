#include "StandardOutput.h"

#include <windows.h>

#include "Exception.h"

namespace qelt {
namespace {

constexpr DWORD kFileNotOpenForOutput = 105;
constexpr size_t kBufferSize = 128;

[[noreturn]] void IoError(DWORD code) { throw Exception("I/O error " + std::to_string(code)); }

class Output {
 public:
  // Whatever is still buffered goes out when the module goes.
  ~Output() {
    try {
      WriteOut(pending_.size());
    } catch (...) {
    }
  }

  void WriteLine(const std::string& text) {
    Open();
    pending_ += text;
    pending_ += "\r\n";
    if (console_) {
      WriteOut(pending_.size());
      return;
    }
    while (pending_.size() >= kBufferSize) WriteOut(kBufferSize);
  }

 private:
  void Open() {
    if (handle_) return;
    const HANDLE h = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) IoError(kFileNotOpenForOutput);
    handle_ = h;  // the process's own handle: not ours to close
    console_ = ::GetFileType(h) == FILE_TYPE_CHAR;
  }

  void WriteOut(size_t count) {
    if (!handle_ || count == 0) return;
    std::string chunk = pending_.substr(0, count);
    pending_.erase(0, count);
    DWORD written = 0;
    if (!::WriteFile(handle_, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr)) {
      IoError(::GetLastError());
    }
  }

  HANDLE handle_ = nullptr;
  bool console_ = false;
  std::string pending_;
};

Output& TheOutput() {
  static Output output;
  return output;
}

}  // namespace

void WriteOutputLine(const std::string& text) { TheOutput().WriteLine(text); }

}  // namespace qelt
