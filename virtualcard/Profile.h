// The card a virtual card plays, read from a small key=value file.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qelt::card {

struct Profile {
  std::wstring pin = L"1234";
  std::wstring cardNumber = L"TP0000000000000001";
  bool present = true;          // false: every card access fails to connect
  bool offersDispatch = true;   // false: the control lacks the toolkit interface
  std::wstring folder;          // where the profile lives; relative paths start here
  std::map<std::wstring, std::wstring> values;  // every key as read
  std::map<std::wstring, std::int32_t> injected;  // operation -> result code
  // operation -> codes answered by successive calls, before the usual answer
  std::map<std::wstring, std::vector<std::int32_t>> scripted;

  // The code injected for an operation's next call, or 0 when none is.
  std::int32_t Injected(const std::wstring& operation);
  // A value by key; empty when absent.
  std::wstring Value(const std::wstring& key) const;
  // A path value made absolute against the profile's folder.
  std::wstring Path(const std::wstring& key) const;
};

// Reads the profile named by QELT_CARD_PROFILE, else "card.profile" beside
// the module, else the built-in card. A file that cannot be read or parsed
// yields the built-in card with present = false.
Profile LoadProfile();
Profile ParseProfile(const std::string& utf8, const std::wstring& folder);

}  // namespace qelt::card
