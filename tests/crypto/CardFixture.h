// What the card operation tests share: a test card's profile, files in a
// temporary folder and the message of a failing call.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Exception.h"
#include "TestSupport.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::test {

// A profile for one of the test cards, its files named by absolute paths.
inline std::string CardText(const std::string& card, const std::string& extra = "") {
  const std::string folder = std::string(QELT_CARDS_DIR) + "/" + card + "/";
  auto path = [&](const char* file) { return win::WideToAnsi(WinPath(folder + file)); };
  return "pin=1234\nkeyPassword=test\nsignCert=" + path("sign.pem") + "\nencryptCert=" + path("encrypt.pem") +
         "\nsignKey=" + path("sign.pfx") + "\nencryptKey=" + path("encrypt.pfx") + "\n" + extra;
}

inline std::string AnsiPath(const TempFolder& folder, const wchar_t* name) {
  return win::WideToAnsi(folder.File(name));
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

inline std::string ReadBytes(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(missing)";
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(h);
  return bytes;
}

// Names in the folder, to see that nothing was left behind.
inline std::vector<std::wstring> FilesIn(const TempFolder& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder.Path() + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (data.cFileName[0] != L'.') names.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// The failure's message, or "(no failure)".
inline std::string FailureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no failure)";
}

// Every test here talks to the registered virtual card and expects no box.
class CardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterVirtualCard(); }
  void TearDown() override { EXPECT_TRUE(boxes_.Boxes().empty()) << "unexpected message box"; }
  win::ComScope com_;
  MessageBoxWatch boxes_;
  TempFolder folder_;
};

}  // namespace qelt::test
