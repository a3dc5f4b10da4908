// The private key of a PKCS#12 file, decrypted here rather than by the
// platform: Wine's import misplaces key parts that are shorter than usual.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace qelt::card {

// The first RSA key of the file as a PRIVATEKEYBLOB. Understands key bags
// and shrouded key bags protected with pbeWithSHAAnd3-KeyTripleDES-CBC.
// False when the file has none or the password does not open it.
bool ReadPkcs12PrivateKey(const std::vector<BYTE>& pfx, const std::wstring& password, std::vector<BYTE>& blob);

}  // namespace qelt::card
