// Owners for the CryptoAPI handles the card's cryptography uses.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace qelt::card {

// The encodings of every certificate and message the card reads or makes.
inline constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// A handle with a release function; moves, never copies.
template <typename T, void (*Release)(T)>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, T())) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, T()));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { reset(); }

  T get() const { return value_; }
  T* put() { reset(); return &value_; }
  void reset(T value = T()) {
    if (value_) Release(value_);
    value_ = value;
  }
  explicit operator bool() const { return value_ != T(); }

 private:
  T value_ = T();
};

inline void ReleaseProvider(HCRYPTPROV h) { ::CryptReleaseContext(h, 0); }
inline void DestroyKey(HCRYPTKEY h) { ::CryptDestroyKey(h); }
inline void DestroyHash(HCRYPTHASH h) { ::CryptDestroyHash(h); }
inline void CloseStore(HCERTSTORE h) { ::CertCloseStore(h, 0); }
inline void FreeCertificate(PCCERT_CONTEXT c) { ::CertFreeCertificateContext(c); }
inline void CloseMessage(HCRYPTMSG h) { ::CryptMsgClose(h); }

using Provider = Owned<HCRYPTPROV, ReleaseProvider>;
using Key = Owned<HCRYPTKEY, DestroyKey>;
using Hash = Owned<HCRYPTHASH, DestroyHash>;
using Store = Owned<HCERTSTORE, CloseStore>;
using Certificate = Owned<PCCERT_CONTEXT, FreeCertificate>;
using Message = Owned<HCRYPTMSG, CloseMessage>;

}  // namespace qelt::card
