#include "Pkcs12Key.h"

#include <wincrypt.h>

#include <cstring>

#include "CryptoOwners.h"
#include "DerReader.h"

namespace qelt::card {
namespace {

const BYTE kData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const BYTE kKeyBag[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x0A, 0x01, 0x01};
const BYTE kShroudedKeyBag[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x0A, 0x01, 0x02};
const BYTE kSha1TripleDes[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x03};
constexpr DWORD kMaxIterations = 1000000;

template <size_t N>
bool Is(const DerSpan& oid, const BYTE (&expected)[N]) {
  return oid == DerSpan{expected, N};
}

// Wipes what it holds when it goes: passwords, keys, decrypted key material.
struct Secret {
  std::vector<BYTE> bytes;
  ~Secret() {
    if (!bytes.empty()) SecureZeroMemory(bytes.data(), bytes.size());
  }
};

bool Sha1(HCRYPTPROV provider, const std::vector<BYTE>& input, std::vector<BYTE>& digest) {
  Hash hash;
  if (!::CryptCreateHash(provider, CALG_SHA1, 0, 0, hash.put())) return false;
  if (!::CryptHashData(hash.get(), input.data(), static_cast<DWORD>(input.size()), 0)) return false;
  digest.resize(20);
  DWORD size = 20;
  return ::CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &size, 0) && size == 20;
}

// The PKCS#12 key derivation with SHA-1 (RFC 7292, appendix B.2).
bool DeriveKey(HCRYPTPROV provider, const std::vector<BYTE>& password, const DerSpan& salt, DWORD iterations,
               BYTE purpose, size_t length, std::vector<BYTE>& out) {
  constexpr size_t v = 64;
  auto stretch = [](const BYTE* data, size_t size, std::vector<BYTE>& to) {
    if (size == 0) return;
    const size_t total = v * ((size + v - 1) / v);
    for (size_t i = 0; i < total; ++i) to.push_back(data[i % size]);
  };
  Secret block;
  std::vector<BYTE>& input = block.bytes;
  stretch(salt.data, salt.size, input);
  stretch(password.data(), password.size(), input);

  out.clear();
  std::vector<BYTE> a;
  while (out.size() < length) {
    std::vector<BYTE> first(v, purpose);
    first.insert(first.end(), input.begin(), input.end());
    if (!Sha1(provider, first, a)) return false;
    for (DWORD i = 1; i < iterations; ++i)
      if (!Sha1(provider, std::vector<BYTE>(a), a)) return false;
    out.insert(out.end(), a.begin(), a.end());
    // Each block of the input grows by the digest (repeated) plus one.
    for (size_t j = 0; j < input.size(); j += v) {
      unsigned carry = 1;
      for (size_t k = v; k-- > 0;) {
        carry += input[j + k] + a[k % a.size()];
        input[j + k] = static_cast<BYTE>(carry);
        carry >>= 8;
      }
    }
  }
  out.resize(length);
  return true;
}

bool ReadCount(const DerSpan& integer, DWORD& value) {
  if (integer.size == 0 || integer.size > 4) return false;
  value = 0;
  for (size_t i = 0; i < integer.size; ++i) value = (value << 8) | integer.data[i];
  return value >= 1 && value <= kMaxIterations;
}

// EncryptedPrivateKeyInfo with the one scheme PKCS#12 tools all write.
bool DecryptShroudedKey(HCRYPTPROV provider, const DerSpan& info, const std::vector<BYTE>& password,
                        std::vector<BYTE>& plain) {
  DerSpan algorithm, oid, params, salt, count, encrypted;
  DerReader outer(info);
  if (!outer.Next(der::kSequence, algorithm) || !outer.Next(der::kOctetString, encrypted)) return false;
  DerReader alg(algorithm);
  if (!alg.Next(der::kOid, oid) || !Is(oid, kSha1TripleDes) || !alg.Next(der::kSequence, params)) return false;
  DerReader p(params);
  DWORD iterations = 0;
  if (!p.Next(der::kOctetString, salt) || !p.Next(der::kInteger, count) || !ReadCount(count, iterations))
    return false;
  if (encrypted.size == 0 || encrypted.size % 8 != 0) return false;

  Secret key, iv;
  if (!DeriveKey(provider, password, salt, iterations, 1, 24, key.bytes) ||
      !DeriveKey(provider, password, salt, iterations, 2, 8, iv.bytes))
    return false;
  Secret keyBlob;
  keyBlob.bytes.resize(sizeof(BLOBHEADER) + sizeof(DWORD) + 24);
  auto* header = reinterpret_cast<BLOBHEADER*>(keyBlob.bytes.data());
  *header = {PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_3DES};
  const DWORD keySize = 24;
  std::memcpy(keyBlob.bytes.data() + sizeof(BLOBHEADER), &keySize, sizeof keySize);
  std::memcpy(keyBlob.bytes.data() + sizeof(BLOBHEADER) + sizeof keySize, key.bytes.data(), 24);
  Key tripleDes;
  if (!::CryptImportKey(provider, keyBlob.bytes.data(), static_cast<DWORD>(keyBlob.bytes.size()), 0, 0,
                        tripleDes.put()) ||
      !::CryptSetKeyParam(tripleDes.get(), KP_IV, iv.bytes.data(), 0))
    return false;
  plain.assign(encrypted.data, encrypted.data + encrypted.size);
  DWORD size = static_cast<DWORD>(plain.size());
  if (!::CryptDecrypt(tripleDes.get(), 0, TRUE, 0, plain.data(), &size)) return false;
  plain.resize(size);
  return true;
}

// PrivateKeyInfo (PKCS#8) to a PRIVATEKEYBLOB, through the platform's decoder.
bool KeyInfoToBlob(const DerSpan& privateKeyInfo, std::vector<BYTE>& blob) {
  DerSpan info, ignored, rsaKey;
  DerReader outer(privateKeyInfo);
  if (!outer.Next(der::kSequence, info)) return false;
  DerReader fields(info);
  if (!fields.Next(der::kInteger, ignored) || !fields.Next(der::kSequence, ignored) ||
      !fields.Next(der::kOctetString, rsaKey))
    return false;
  DWORD size = 0;
  const DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  if (!::CryptDecodeObjectEx(encoding, PKCS_RSA_PRIVATE_KEY, rsaKey.data, static_cast<DWORD>(rsaKey.size), 0,
                             nullptr, nullptr, &size))
    return false;
  blob.resize(size);
  if (!::CryptDecodeObjectEx(encoding, PKCS_RSA_PRIVATE_KEY, rsaKey.data, static_cast<DWORD>(rsaKey.size), 0,
                             nullptr, blob.data(), &size))
    return false;
  blob.resize(size);
  return true;
}

// SafeContents: the first key bag that opens.
bool KeyFromBags(HCRYPTPROV provider, const DerSpan& safeContents, const std::vector<BYTE>& password,
                 std::vector<BYTE>& blob) {
  DerSpan bags;
  if (!DerReader(safeContents).Next(der::kSequence, bags)) return false;
  DerReader list(bags);
  DerSpan bag, bagId, value;
  while (list.Next(der::kSequence, bag)) {
    DerReader fields(bag);
    if (!fields.Next(der::kOid, bagId) || !fields.Next(der::kContext0, value)) continue;
    if (Is(bagId, kKeyBag) && KeyInfoToBlob(value, blob)) return true;
    DerSpan shrouded;
    Secret plain;
    if (Is(bagId, kShroudedKeyBag) && DerReader(value).Next(der::kSequence, shrouded) &&
        DecryptShroudedKey(provider, shrouded, password, plain.bytes) &&
        KeyInfoToBlob({plain.bytes.data(), plain.bytes.size()}, blob))
      return true;
  }
  return false;
}

}  // namespace

bool ReadPkcs12PrivateKey(const std::vector<BYTE>& pfx, const std::wstring& password, std::vector<BYTE>& blob) {
  // The password as a BMPString: big-endian UTF-16 with a closing zero.
  Secret bmp;
  for (wchar_t c : password) {
    bmp.bytes.push_back(static_cast<BYTE>(c >> 8));
    bmp.bytes.push_back(static_cast<BYTE>(c & 0xFF));
  }
  bmp.bytes.push_back(0);
  bmp.bytes.push_back(0);

  Provider provider;
  if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    return false;

  DerSpan top, authSafe, oid, wrapped, content, safes, info;
  DerReader file({pfx.data(), pfx.size()});
  if (!file.Next(der::kSequence, top)) return false;
  DerReader pfxFields(top);
  if (!pfxFields.Skip() || !pfxFields.Next(der::kSequence, authSafe)) return false;
  DerReader authFields(authSafe);
  if (!authFields.Next(der::kOid, oid) || !Is(oid, kData) || !authFields.Next(der::kContext0, wrapped) ||
      !DerReader(wrapped).Next(der::kOctetString, content) || !DerReader(content).Next(der::kSequence, safes))
    return false;
  // Certificates sit in encrypted contents; keys in plain data contents.
  DerReader contents(safes);
  while (contents.Next(der::kSequence, info)) {
    DerReader fields(info);
    DerSpan type, explicitContent, safeContents;
    if (!fields.Next(der::kOid, type) || !Is(type, kData) || !fields.Next(der::kContext0, explicitContent) ||
        !DerReader(explicitContent).Next(der::kOctetString, safeContents))
      continue;
    if (KeyFromBags(provider.get(), safeContents, bmp.bytes, blob)) return true;
  }
  return false;
}

}  // namespace qelt::card
