#include "CardKey.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "Pkcs12Key.h"

namespace qelt::card {
namespace {

// Key material that is wiped when it goes.
struct SecretBytes {
  std::vector<BYTE> bytes;
  ~SecretBytes() {
    if (!bytes.empty()) SecureZeroMemory(bytes.data(), bytes.size());
  }
};

bool ReadBytes(const std::wstring& path, std::vector<BYTE>& bytes) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !bytes.empty();
}

// True when the certificate's public key is the public half of the blob's key.
bool HoldsPublicHalf(PCCERT_CONTEXT cert, const std::vector<BYTE>& privateBlob) {
  const CRYPT_BIT_BLOB& key = cert->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  DWORD size = 0;
  if (!::CryptDecodeObjectEx(kEncoding, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, 0, nullptr, nullptr, &size))
    return false;
  std::vector<BYTE> publicBlob(size);
  if (!::CryptDecodeObjectEx(kEncoding, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, 0, nullptr,
                             publicBlob.data(), &size))
    return false;
  const size_t offset = sizeof(BLOBHEADER);
  if (publicBlob.size() < offset + sizeof(RSAPUBKEY) || privateBlob.size() < offset + sizeof(RSAPUBKEY)) return false;
  RSAPUBKEY mine, theirs;
  std::memcpy(&mine, privateBlob.data() + offset, sizeof mine);
  std::memcpy(&theirs, publicBlob.data() + offset, sizeof theirs);
  const size_t modulus = theirs.bitlen / 8;
  const size_t start = offset + sizeof(RSAPUBKEY);
  return mine.bitlen == theirs.bitlen && mine.pubexp == theirs.pubexp && publicBlob.size() >= start + modulus &&
         privateBlob.size() >= start + modulus &&
         std::memcmp(publicBlob.data() + start, privateBlob.data() + start, modulus) == 0;
}

}  // namespace

bool LoadCardKey(const std::wstring& pfxPath, const std::wstring& password, CardKey& key) {
  std::vector<BYTE> pfx;
  if (pfxPath.empty() || !ReadBytes(pfxPath, pfx)) return false;
  SecretBytes privateKey;
  if (!ReadPkcs12PrivateKey(pfx, password, privateKey.bytes)) return false;

  // The platform still reads the certificates; its copy of the key is not
  // used (and not persisted).
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), pfx.data()};
  Store store(::PFXImportCertStore(&blob, password.c_str(), PKCS12_NO_PERSIST_KEY));
  if (!store) return false;
  PCCERT_CONTEXT found = nullptr;
  while ((found = ::CertEnumCertificatesInStore(store.get(), found)) != nullptr)
    if (HoldsPublicHalf(found, privateKey.bytes)) break;
  if (!found) return false;
  Certificate certificate(found);  // the enumeration handed its reference over

  Provider provider;
  if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    return false;
  // Imported as the exchange pair: both signing and decryption use AT_KEYEXCHANGE.
  reinterpret_cast<BLOBHEADER*>(privateKey.bytes.data())->aiKeyAlg = CALG_RSA_KEYX;
  Key imported;
  if (!::CryptImportKey(provider.get(), privateKey.bytes.data(), static_cast<DWORD>(privateKey.bytes.size()), 0, 0,
                        imported.put()))
    return false;
  key.certificate = std::move(certificate);
  key.provider = std::move(provider);
  return true;
}

}  // namespace qelt::card
