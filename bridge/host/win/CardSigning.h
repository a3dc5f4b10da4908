// Sign-ins and signatures through the card with the utility object's own
// operations, the ones its command-line mode runs: ReadCertificate and Sign
// over GetTBS, with no toolkit wrapper of the host's and no command line.
#pragma once
#include <memory>
#include <string>

#include "Session.h"
#include "UtilityObject.h"

namespace qelt::bridge {

class CardSigning {
 public:
  CardSigning();
  ~CardSigning();

  struct Attempt {
    bool wrongPin = false;
    Outcome outcome;  // when the PIN was not the wrong one
  };

  // The card holder's name for the dialog (UTF-8); empty when the card does not give it.
  std::string HolderName();
  // Signs "<TBSHeader>FORMAT ORIGIN</TBSHeader><TBSBody>BODY</TBSBody>" in
  // the ANSI code page with the PIN, then reads the signing certificate:
  // the token. The PIN's copies are wiped after the toolkit call.
  Attempt Sign(const char* format, const std::string& origin, const std::string& body, const std::wstring& pin,
               const std::string& appVersion);
  // The error table's text for a wrong PIN (UTF-8): "PinCode錯誤".
  std::string WrongPinText();
  bool IsWrongPin(const std::string& description);

 private:
  // Created on first use: it creates a toolkit control of its own.
  TfrmQELTUtility& Utility();
  std::unique_ptr<TfrmQELTUtility> utility_;
  TQeltUtility messages_;  // the error table
};

// Whether the process's ANSI code page holds the character exactly: no
// best-fit mapping, no default character.
bool RepresentableInAnsi(char32_t c);

}  // namespace qelt::bridge
