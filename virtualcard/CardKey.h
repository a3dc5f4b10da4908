// A card key: a certificate with its private key, read from a PKCS#12 file.
#pragma once
#include <string>

#include "CryptoOwners.h"

namespace qelt::card {

struct CardKey {
  Provider provider;  // holds the private key as AT_KEYEXCHANGE
  Certificate certificate;
};

// False when the file cannot be read, the password is wrong or no
// certificate in it has a private key.
bool LoadCardKey(const std::wstring& pfxPath, const std::wstring& password, CardKey& key);

}  // namespace qelt::card
