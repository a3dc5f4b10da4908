// The committed test cards as other parts use them: each key file opens with
// the shared password and holds the key of its certificate, and the
// revocation list names the revoked card's certificates.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <sstream>
#include <vector>

#include "CardFiles.h"
#include "UtilityObject.h"
#include "win/Resources.h"

using namespace qelt;
using qelt::test::UseCard;

namespace {

struct CertFree { void operator()(PCCERT_CONTEXT c) const { CertFreeCertificateContext(c); } };
struct StoreClose { void operator()(HCERTSTORE s) const { CertCloseStore(s, 0); } };
using UniqueCert = std::unique_ptr<const CERT_CONTEXT, CertFree>;
using UniqueStore = std::unique_ptr<void, StoreClose>;

UniqueCert PemCertificate(const std::string& pem) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                            &size, nullptr, nullptr))
    return nullptr;
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                       nullptr, nullptr);
  return UniqueCert(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size));
}

// True when the PKCS#12 file opens with the password and holds the
// certificate together with the private key of its public key.
::testing::AssertionResult KeyFileMatches(const std::string& card, const std::string& stem) {
  const std::string pfx = test::ReadCardFile(card, stem + ".pfx");
  const UniqueCert cert = PemCertificate(test::ReadCardFile(card, stem + ".pem"));
  if (pfx.empty() || !cert) return ::testing::AssertionFailure() << "files missing";
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), reinterpret_cast<BYTE*>(const_cast<char*>(pfx.data()))};
  const UniqueStore store(PFXImportCertStore(&blob, L"test", CRYPT_EXPORTABLE | PKCS12_NO_PERSIST_KEY));
  if (!store) return ::testing::AssertionFailure() << "does not open with the password";
  const UniqueCert found(
      CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert.get(), nullptr));
  if (!found) return ::testing::AssertionFailure() << "certificate not in the key file";

  // A key imported without persisting it hangs on the certificate as its key context.
  CERT_KEY_CONTEXT key{};
  DWORD size = sizeof key;
  if (!CertGetCertificateContextProperty(found.get(), CERT_KEY_CONTEXT_PROP_ID, &key, &size) || !key.hCryptProv)
    return ::testing::AssertionFailure() << "no private key, error " << GetLastError();
  size = 0;
  CryptExportPublicKeyInfo(key.hCryptProv, key.dwKeySpec, X509_ASN_ENCODING, nullptr, &size);
  std::vector<BYTE> buffer(size);
  const bool exported =
      size && CryptExportPublicKeyInfo(key.hCryptProv, key.dwKeySpec, X509_ASN_ENCODING,
                                       reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(buffer.data()), &size);
  const bool same = exported && CertComparePublicKeyInfo(X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo,
                                                         reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(buffer.data()));
  if (!same) return ::testing::AssertionFailure() << "the key is not the certificate's";
  return ::testing::AssertionSuccess();
}

TEST(TestCards, KeyFilesHoldTheKeysOfTheirCertificates) {
  for (const char* card : {"citizen", "company", "agency", "association", "unknown", "expired", "revoked", "markup"})
    for (const char* stem : {"sign", "encrypt"}) EXPECT_TRUE(KeyFileMatches(card, stem)) << card << "/" << stem;
}

TEST(TestCards, RevocationListNamesTheRevokedCardsCertificates) {
  win::ComScope com;
  test::RegisterVirtualCard();
  UseCard card("revoked");
  TfrmQELTUtility utility;
  std::vector<std::string> serials;
  for (TCertType type : {ctSign, ctEncrypt}) {
    utility.param()->set_certType(type);
    serials.push_back(utility.ReadCardInfo()->certSerialNumber());
  }
  std::istringstream list(test::ReadCardFile(".", "revoked-serials.txt"));
  std::vector<std::string> listed;
  for (std::string line; std::getline(list, line);) listed.push_back(line);
  EXPECT_EQ(listed, serials);
}

}  // namespace
