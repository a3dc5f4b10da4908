// The certificate information of a test card, as the virtual card gives it.
#pragma once
#include <string>

namespace qelt::bench {

// Loads the virtual card module directly (no registration), points it at
// the profile and asks it for the signing certificate's information.
// Throws std::runtime_error when any step fails.
std::wstring ReadCertificateInformation(const std::wstring& cardModule, const std::wstring& profile);

}  // namespace qelt::bench
