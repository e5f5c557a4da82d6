#pragma once

// Owners of the crypto library's objects shared by the signing sources. Not
// part of the interface: only code signing includes it.

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/signing_identity.h"

namespace fnd::signing {

struct BIODeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Deleter {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CMSDeleter {
  void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
struct StoreDeleter {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct StoreContextDeleter {
  void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};
struct CertificateStackDeleter {
  void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};

using BIOPtr = std::unique_ptr<BIO, BIODeleter>;
using X509Ptr = std::unique_ptr<X509, X509Deleter>;
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using CMSPtr = std::unique_ptr<CMS_ContentInfo, CMSDeleter>;
using StorePtr = std::unique_ptr<X509_STORE, StoreDeleter>;
using StoreContextPtr = std::unique_ptr<X509_STORE_CTX, StoreContextDeleter>;
using CertificateStackPtr = std::unique_ptr<STACK_OF(X509), CertificateStackDeleter>;

// A read-only memory BIO over `bytes`, which must outlive it.
BIOPtr memoryBIO(std::string_view bytes);
// Every certificate of a PEM text, in order; stops at the first that is not one.
std::vector<X509Ptr> certificatesFromPEM(std::string_view pem);
std::string certificateToPEM(X509* certificate);
std::vector<std::uint8_t> certificateToDER(X509* certificate);
// The crypto library's latest error text, for debugging descriptions.
std::string lastCryptoError();

// A stack holding new references to `certificates`.
CertificateStackPtr stackOf(const std::vector<X509*>& certificates);

}  // namespace fnd::signing

namespace fnd {

struct SigningIdentity::State {
  signing::KeyPtr key;
  // The leaf first, then the certificates that issued it.
  std::vector<signing::X509Ptr> chain;
};

}  // namespace fnd
