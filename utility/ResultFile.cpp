#include "ResultFile.h"

#include <windows.h>

#include "Exception.h"
#include "FilePaths.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt {
namespace {

// A temporary file that is deleted unless it was moved into place.
class PendingFile {
 public:
  explicit PendingFile(std::string path) : path_(std::move(path)) {}
  ~PendingFile() {
    if (!path_.empty()) ::DeleteFileA(path_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  const std::string& Path() const { return path_; }
  void Committed() { path_.clear(); }

 private:
  std::string path_;
};

std::string FolderOf(const std::string& fullPath) {
  const size_t slash = fullPath.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : fullPath.substr(0, slash + 1);
}

}  // namespace

void WriteResultFile(const std::string& name, const std::string& text) {
  const std::string target = FullPath(name);
  auto fail = [&target](DWORD error) {
    throw Exception("Cannot create file \"" + target + "\". " + win::SystemMessage(error));
  };
  if (name.empty()) fail(ERROR_PATH_NOT_FOUND);

  const std::string folder = FolderOf(target);
  char temporary[MAX_PATH];
  if (::GetTempFileNameA(folder.c_str(), "qlt", 0, temporary) == 0) {
    // A missing folder reads as the path not found, as creating the file itself would say, not as
    // the temporary name's "directory name is invalid".
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    fail(attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_PATH_NOT_FOUND
                                                                                          : error);
  }
  PendingFile pending(temporary);
  {
    const HANDLE opened = ::CreateFileA(pending.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) fail(::GetLastError());
    const win::UniqueHandle file(opened);
    const std::string content = text + "\r\n";
    DWORD written = 0;
    if (!::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
        written != content.size() || !::FlushFileBuffers(file.get()))
      fail(::GetLastError());
  }
  if (!::MoveFileExA(pending.Path().c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    fail(::GetLastError());
  pending.Committed();
}

}  // namespace qelt
