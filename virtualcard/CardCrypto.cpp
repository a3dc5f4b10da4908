// Signatures and envelopes made with the card's keys: Base64 PKCS#7, the
// signing time as an authenticated attribute, 3DES envelopes.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "CardKey.h"
#include "CardOperations.h"
#include "CryptoText.h"

namespace qelt::card {
namespace {

// Codes the card answers, by what went wrong.
namespace sign {
constexpr std::int32_t kNoCard = 5008, kWrongPin = 5010, kNoKey = 5011, kFailed = 5013, kBadKind = 5022;
}
namespace verify {
constexpr std::int32_t kMalformed = 6001, kContentDiffers = 6013, kBadBase64 = 6023, kNoPublicKey = 6031,
                       kBadSignature = 6032, kNoSigner = 6033, kNoSigningTime = 6036;
}
namespace encrypt {
constexpr std::int32_t kBadBase64 = 10002, kBadCertificate = 10004, kFailed = 10005;
}
namespace decrypt {
// The decryption range has no wrong-PIN code: the card answers with its PIN
// check's code, so the user reads "PinCode錯誤".
constexpr std::int32_t kBadBase64 = 11001, kNoCard = 11004, kWrongPin = 12003, kNoRecipient = 11015,
                       kNoKey = 11016, kFailed = 11017, kMalformed = 11041;
}

bool MessageParam(HCRYPTMSG message, DWORD type, DWORD index, std::vector<BYTE>& out) {
  DWORD size = 0;
  if (!::CryptMsgGetParam(message, type, index, nullptr, &size)) return false;
  out.resize(size);
  if (size != 0 && !::CryptMsgGetParam(message, type, index, out.data(), &size)) return false;
  out.resize(size);
  return true;
}

bool DecodeObject(LPCSTR type, const CRYPT_ATTR_BLOB& blob, std::vector<BYTE>& out) {
  DWORD size = 0;
  if (!::CryptDecodeObject(kEncoding, type, blob.pbData, blob.cbData, 0, nullptr, &size)) return false;
  out.resize(size);
  return ::CryptDecodeObject(kEncoding, type, blob.pbData, blob.cbData, 0, out.data(), &size) != FALSE;
}

bool EncodeObject(LPCSTR type, const void* value, std::vector<BYTE>& out) {
  DWORD size = 0;
  if (!::CryptEncodeObject(kEncoding, type, value, nullptr, &size)) return false;
  out.resize(size);
  if (!::CryptEncodeObject(kEncoding, type, value, out.data(), &size)) return false;
  out.resize(size);
  return true;
}

// A message opened for decoding from Base64 text; empty when the bytes are
// not a PKCS#7 message of the wanted type.
Message DecodeMessage(const std::vector<BYTE>& der, DWORD wantedType) {
  Message message(::CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
  if (!message || !::CryptMsgUpdate(message.get(), der.data(), static_cast<DWORD>(der.size()), TRUE)) return {};
  DWORD type = 0, size = sizeof type;
  if (!::CryptMsgGetParam(message.get(), CMSG_TYPE_PARAM, 0, &type, &size) || type != wantedType) return {};
  return message;
}

const CRYPT_ATTRIBUTE* FindAttribute(const CRYPT_ATTRIBUTES& attributes, const char* oid) {
  for (DWORD i = 0; i < attributes.cAttr; ++i)
    if (std::strcmp(attributes.rgAttr[i].pszObjId, oid) == 0 && attributes.rgAttr[i].cValue == 1)
      return &attributes.rgAttr[i];
  return nullptr;
}

std::wstring LocalTimeText(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME t;
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &t)) return {};
  wchar_t text[32];
  ::wsprintfW(text, L"%04u/%02u/%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return text;
}

// Wine's signature check skips the messageDigest attribute: compare it with
// the hash of the content ourselves, or altered content would still verify.
bool DigestMatches(HCRYPTMSG message, const CRYPT_ATTRIBUTES& attributes) {
  const CRYPT_ATTRIBUTE* digest = FindAttribute(attributes, szOID_RSA_messageDigest);
  std::vector<BYTE> stored, computed;
  if (!digest || !DecodeObject(X509_OCTET_STRING, digest->rgValue[0], stored)) return false;
  if (!MessageParam(message, CMSG_COMPUTED_HASH_PARAM, 0, computed)) return false;
  const auto* octets = reinterpret_cast<const CRYPT_DATA_BLOB*>(stored.data());
  return octets->cbData == computed.size() && std::memcmp(octets->pbData, computed.data(), computed.size()) == 0;
}

}  // namespace

// SignData(signTyp, tbs, pin, out signature): every kind of data is signed as given.
std::int32_t SignData(Profile& card, const CallArgs& args) {
  if (!card.present) return sign::kNoCard;
  if (args.Text(2) != card.pin) return sign::kWrongPin;
  const std::int16_t kind = args.Short(0);
  if (kind < 0 || kind > 3) return sign::kBadKind;
  CardKey key;
  if (!LoadCardKey(card.Path(L"signKey"), card.Value(L"keyPassword"), key)) return sign::kNoKey;

  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  std::vector<BYTE> time;
  if (!EncodeObject(szOID_RSA_signingTime, &now, time)) return sign::kFailed;
  CRYPT_ATTR_BLOB timeValue{static_cast<DWORD>(time.size()), time.data()};
  CRYPT_ATTRIBUTE signingTime{const_cast<char*>(szOID_RSA_signingTime), 1, &timeValue};

  PCCERT_CONTEXT cert = key.certificate.get();
  CMSG_SIGNER_ENCODE_INFO signer{};
  signer.cbSize = sizeof signer;
  signer.pCertInfo = cert->pCertInfo;
  signer.hCryptProv = key.provider.get();
  signer.dwKeySpec = AT_KEYEXCHANGE;
  signer.HashAlgorithm.pszObjId = const_cast<char*>(szOID_NIST_sha256);
  signer.cAuthAttr = 1;
  signer.rgAuthAttr = &signingTime;
  CERT_BLOB certBlob{cert->cbCertEncoded, cert->pbCertEncoded};
  CMSG_SIGNED_ENCODE_INFO info{};
  info.cbSize = sizeof info;
  info.cSigners = 1;
  info.rgSigners = &signer;
  info.cCertEncoded = 1;
  info.rgCertEncoded = &certBlob;

  const std::vector<BYTE> content = AnsiBytes(args.Text(1));
  Message message(::CryptMsgOpenToEncode(kEncoding, 0, CMSG_SIGNED, &info, nullptr, nullptr));
  std::vector<BYTE> der;
  if (!message || !::CryptMsgUpdate(message.get(), content.data(), static_cast<DWORD>(content.size()), TRUE) ||
      !MessageParam(message.get(), CMSG_CONTENT_PARAM, 0, der))
    return sign::kFailed;
  args.SetText(3, ToBase64(der));
  return 0;
}

// VerifySignedData(signature, tbs, out signer, out signing time).
std::int32_t VerifySignedData(Profile&, const CallArgs& args) {
  std::vector<BYTE> der;
  if (!FromBase64(args.Text(0), der)) return verify::kBadBase64;
  const Message message = DecodeMessage(der, CMSG_SIGNED);
  std::vector<BYTE> signerInfo;
  if (!message || !MessageParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, signerInfo))
    return verify::kMalformed;

  const Store store(::CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
  const Certificate cert(store ? ::CertGetSubjectCertificateFromStore(
                                     store.get(), kEncoding, reinterpret_cast<PCERT_INFO>(signerInfo.data()))
                               : nullptr);
  if (!cert) return verify::kNoPublicKey;
  if (!::CryptMsgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE, cert.get()->pCertInfo))
    return verify::kBadSignature;

  std::vector<BYTE> attributeBytes;
  if (!MessageParam(message.get(), CMSG_SIGNER_AUTH_ATTR_PARAM, 0, attributeBytes)) return verify::kBadSignature;
  const auto& attributes = *reinterpret_cast<const CRYPT_ATTRIBUTES*>(attributeBytes.data());
  if (!DigestMatches(message.get(), attributes)) return verify::kBadSignature;

  std::vector<BYTE> content;
  if (!MessageParam(message.get(), CMSG_CONTENT_PARAM, 0, content)) return verify::kMalformed;
  if (content != AnsiBytes(args.Text(1))) return verify::kContentDiffers;

  const CRYPT_ATTRIBUTE* time = FindAttribute(attributes, szOID_RSA_signingTime);
  std::vector<BYTE> when;
  if (!time || !DecodeObject(szOID_RSA_signingTime, time->rgValue[0], when)) return verify::kNoSigningTime;
  const std::wstring timeText = LocalTimeText(*reinterpret_cast<const FILETIME*>(when.data()));
  if (timeText.empty()) return verify::kNoSigningTime;

  wchar_t name[512];
  const DWORD n = ::CertGetNameStringW(cert.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
  if (n <= 1) return verify::kNoSigner;
  args.SetText(2, std::wstring(name, n - 1));
  args.SetText(3, timeText);
  return 0;
}

// EncryptData(plain, certificate, out envelope).
std::int32_t EncryptData(Profile&, const CallArgs& args) {
  std::vector<BYTE> certDer;
  if (!FromBase64(args.Text(1), certDer)) return encrypt::kBadBase64;
  const Certificate cert(::CertCreateCertificateContext(kEncoding, certDer.data(), static_cast<DWORD>(certDer.size())));
  if (!cert) return encrypt::kBadCertificate;

  // Wine encrypts with a zero IV whatever it is told; saying so in the
  // parameters lets other tools decrypt the envelope.
  BYTE zeroIv[] = {0x04, 0x08, 0, 0, 0, 0, 0, 0, 0, 0};
  CRYPT_ENCRYPT_MESSAGE_PARA para{};
  para.cbSize = sizeof para;
  para.dwMsgEncodingType = kEncoding;
  para.ContentEncryptionAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_DES_EDE3_CBC);
  para.ContentEncryptionAlgorithm.Parameters = {sizeof zeroIv, zeroIv};
  PCCERT_CONTEXT recipients[] = {cert.get()};

  std::vector<BYTE> plain = AnsiBytes(args.Text(0));
  const BYTE* data = plain.empty() ? zeroIv : plain.data();  // never a null pointer
  DWORD size = 0;
  if (!::CryptEncryptMessage(&para, 1, recipients, data, static_cast<DWORD>(plain.size()), nullptr, &size))
    return encrypt::kFailed;
  std::vector<BYTE> der(size);
  if (!::CryptEncryptMessage(&para, 1, recipients, data, static_cast<DWORD>(plain.size()), der.data(), &size))
    return encrypt::kFailed;
  der.resize(size);
  args.SetText(2, ToBase64(der));
  return 0;
}

// DecryptData(envelope, pin, out plain). The platform's one-call decryption
// is a stub under Wine, so the message is decoded step by step.
std::int32_t DecryptData(Profile& card, const CallArgs& args) {
  if (!card.present) return decrypt::kNoCard;
  if (args.Text(1) != card.pin) return decrypt::kWrongPin;
  std::vector<BYTE> der;
  if (!FromBase64(args.Text(0), der)) return decrypt::kBadBase64;
  const Message message = DecodeMessage(der, CMSG_ENVELOPED);
  if (!message) return decrypt::kMalformed;
  CardKey key;
  if (!LoadCardKey(card.Path(L"encryptKey"), card.Value(L"keyPassword"), key)) return decrypt::kNoKey;

  DWORD count = 0, size = sizeof count;
  if (!::CryptMsgGetParam(message.get(), CMSG_RECIPIENT_COUNT_PARAM, 0, &count, &size)) return decrypt::kMalformed;
  DWORD index = 0;
  std::vector<BYTE> recipient;
  for (; index < count; ++index) {
    if (!MessageParam(message.get(), CMSG_RECIPIENT_INFO_PARAM, index, recipient)) return decrypt::kMalformed;
    if (::CertCompareCertificate(kEncoding, reinterpret_cast<PCERT_INFO>(recipient.data()),
                                 key.certificate.get()->pCertInfo))
      break;
  }
  if (index == count) return decrypt::kNoRecipient;

  CMSG_CTRL_DECRYPT_PARA para{};
  para.cbSize = sizeof para;
  para.hCryptProv = key.provider.get();
  para.dwKeySpec = AT_KEYEXCHANGE;
  para.dwRecipientIndex = index;
  std::vector<BYTE> plain;
  if (!::CryptMsgControl(message.get(), 0, CMSG_CTRL_DECRYPT, &para) ||
      !MessageParam(message.get(), CMSG_CONTENT_PARAM, 0, plain))
    return decrypt::kFailed;
  args.SetText(2, FromAnsiBytes(plain));
  return 0;
}

}  // namespace qelt::card
