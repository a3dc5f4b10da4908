// Shared helpers for the Wine-side tests: paths, the virtual card, profiles
// and a watch for modal boxes.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qelt::test {

// A Linux path as Wine sees it (drive Z: maps to /).
std::wstring WinPath(const std::string& unixPath);

// Registers the virtual card in the test prefix (idempotent).
void RegisterVirtualCard();
void UnregisterVirtualCard();

// Writes a card profile to a temporary file and points the virtual card at
// it for as long as the object lives.
class CardProfile {
 public:
  explicit CardProfile(const std::string& utf8Text);
  ~CardProfile();
  CardProfile(const CardProfile&) = delete;
  CardProfile& operator=(const CardProfile&) = delete;
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

// A temporary folder removed with its files when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Watches this thread for modal message boxes: each is recorded (caption
// and text, as ANSI) and closed with OK, so a test never hangs on one.
class MessageBoxWatch {
 public:
  struct Box { std::string caption; std::string text; };
  MessageBoxWatch();
  ~MessageBoxWatch();
  const std::vector<Box>& Boxes() const;
};

// The ANSI form of a UTF-16 literal.
std::string Ansi(const std::u16string& text);

}  // namespace qelt::test
