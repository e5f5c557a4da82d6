#include "foundation/signing_identity.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <ctime>

#include "foundation/code_requirement.h"
#include "foundation/code_signing_internal.h"
#include "foundation/file_manager.h"

namespace fnd {

namespace signing {

BIOPtr memoryBIO(std::string_view bytes) {
  return BIOPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

std::vector<X509Ptr> certificatesFromPEM(std::string_view pem) {
  std::vector<X509Ptr> certificates;
  BIOPtr bio = memoryBIO(pem);
  if (!bio) return certificates;
  while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    certificates.emplace_back(certificate);
  }
  // Running out of certificates leaves a "no start line" error behind.
  ERR_clear_error();
  return certificates;
}

namespace {

std::string drain(BIO* bio) {
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace

std::string certificateToPEM(X509* certificate) {
  BIOPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) return {};
  return drain(bio.get());
}

std::vector<std::uint8_t> certificateToDER(X509* certificate) {
  unsigned char* bytes = nullptr;
  int size = i2d_X509(certificate, &bytes);
  if (size <= 0) return {};
  std::vector<std::uint8_t> der(bytes, bytes + size);
  OPENSSL_free(bytes);
  return der;
}

std::string lastCryptoError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown failure";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

CertificateStackPtr stackOf(const std::vector<X509*>& certificates) {
  CertificateStackPtr stack(sk_X509_new_null());
  if (!stack) return stack;
  for (X509* certificate : certificates) {
    if (X509_up_ref(certificate) != 1) continue;
    if (sk_X509_push(stack.get(), certificate) <= 0) X509_free(certificate);
  }
  return stack;
}

}  // namespace signing

namespace {

using namespace signing;

inline constexpr std::int64_t kFileReadCorruptFileError = 259;

Error corrupt(std::string reason) {
  return Error(NSCocoaErrorDomain, kFileReadCorruptFileError, {{Value(NSDebugDescriptionErrorKey), Value(reason)}});
}

Error issuingFailed(std::string_view step) {
  return Error(NSOSStatusErrorDomain, errSecCSInternalError,
               {{Value(NSDebugDescriptionErrorKey), Value(std::string(step) + ": " + lastCryptoError())}});
}

std::time_t toTime(Clock::WallTimePoint point) {
  return static_cast<std::time_t>(std::chrono::duration_cast<std::chrono::seconds>(point.time_since_epoch()).count());
}

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

bool setRandomSerial(X509* certificate) {
  BIGNUM* serial = BN_new();
  bool set = serial && BN_rand(serial, 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
             BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate)) != nullptr;
  BN_free(serial);
  return set;
}

bool setSubject(X509* certificate, const CertificateRequest& request) {
  X509_NAME* name = X509_get_subject_name(certificate);
  for (const auto& [attribute, value] : request.subject) {
    if (X509_NAME_add_entry_by_txt(name, attribute.c_str(), MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(value.c_str()),
                                   static_cast<int>(value.size()), -1, 0) != 1) {
      return false;
    }
  }
  return true;
}

bool addExtensions(X509* certificate, X509* issuerCertificate, bool isAuthority) {
  if (isAuthority) {
    return addExtension(certificate, issuerCertificate, NID_basic_constraints, "critical,CA:TRUE") &&
           addExtension(certificate, issuerCertificate, NID_key_usage, "critical,keyCertSign,cRLSign") &&
           addExtension(certificate, issuerCertificate, NID_subject_key_identifier, "hash");
  }
  return addExtension(certificate, issuerCertificate, NID_basic_constraints, "critical,CA:FALSE") &&
         addExtension(certificate, issuerCertificate, NID_key_usage, "critical,digitalSignature") &&
         addExtension(certificate, issuerCertificate, NID_ext_key_usage, "codeSigning") &&
         addExtension(certificate, issuerCertificate, NID_subject_key_identifier, "hash");
}

}  // namespace

Expected<SigningIdentity> SigningIdentity::withPEM(std::string_view keyPEM, std::string_view chainPEM) {
  BIOPtr keyBIO = memoryBIO(keyPEM);
  KeyPtr key(keyBIO ? PEM_read_bio_PrivateKey(keyBIO.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) return corrupt("no private key: " + lastCryptoError());
  std::vector<X509Ptr> certificates = certificatesFromPEM(chainPEM);
  // The key's own certificate may sit beside the key instead.
  for (auto& certificate : certificatesFromPEM(keyPEM)) certificates.push_back(std::move(certificate));
  auto state = std::make_shared<State>();
  state->key = std::move(key);
  for (auto& certificate : certificates) {
    if (state->chain.empty() && X509_check_private_key(certificate.get(), state->key.get()) == 1) {
      state->chain.push_back(std::move(certificate));
    }
  }
  ERR_clear_error();
  if (state->chain.empty()) return corrupt("no certificate in the chain names the private key");
  for (auto& certificate : certificates) {
    if (!certificate) continue;
    bool known = false;
    for (const auto& kept : state->chain) known = known || X509_cmp(kept.get(), certificate.get()) == 0;
    if (!known) state->chain.push_back(std::move(certificate));
  }
  return SigningIdentity(std::move(state));
}

Expected<SigningIdentity> SigningIdentity::withPEMFiles(const std::string& keyPath, const std::string& chainPath) {
  auto key = FileManager::defaultManager().contentsAtPath(keyPath);
  if (!key) return key.error();
  auto chain = FileManager::defaultManager().contentsAtPath(chainPath);
  if (!chain) return chain.error();
  return withPEM(std::string_view(reinterpret_cast<const char*>(key->data()), key->size()),
                 std::string_view(reinterpret_cast<const char*>(chain->data()), chain->size()));
}

Expected<SigningIdentity> SigningIdentity::issue(const CertificateRequest& request, const SigningIdentity* issuer) {
  KeyPtr key(EVP_EC_gen("P-256"));
  X509Ptr certificate(X509_new());
  if (!key || !certificate) return issuingFailed("key generation");
  X509* issuerCertificate = issuer ? issuer->state_->chain.front().get() : certificate.get();
  EVP_PKEY* issuerKey = issuer ? issuer->state_->key.get() : key.get();
  if (X509_set_version(certificate.get(), X509_VERSION_3) != 1 || !setRandomSerial(certificate.get()) ||
      X509_set_pubkey(certificate.get(), key.get()) != 1 || !setSubject(certificate.get(), request) ||
      !ASN1_TIME_set(X509_getm_notBefore(certificate.get()), toTime(request.notBefore)) ||
      !ASN1_TIME_set(X509_getm_notAfter(certificate.get()), toTime(request.notAfter))) {
    return issuingFailed("certificate fields");
  }
  if (X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuerCertificate)) != 1 ||
      !addExtensions(certificate.get(), issuerCertificate, request.isAuthority) ||
      !addExtension(certificate.get(), issuerCertificate, NID_authority_key_identifier, "keyid") ||
      X509_sign(certificate.get(), issuerKey, EVP_sha256()) <= 0) {
    return issuingFailed("certificate signature");
  }
  auto state = std::make_shared<State>();
  state->key = std::move(key);
  state->chain.push_back(std::move(certificate));
  if (issuer) {
    for (const auto& above : issuer->state_->chain) {
      X509_up_ref(above.get());
      state->chain.emplace_back(above.get());
    }
  }
  return SigningIdentity(std::move(state));
}

std::string SigningIdentity::privateKeyPEM() const {
  BIOPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), state_->key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    return {};
  }
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string SigningIdentity::certificatePEM() const { return certificateToPEM(state_->chain.front().get()); }

std::string SigningIdentity::chainPEM() const {
  std::string pem;
  for (const auto& certificate : state_->chain) pem += certificateToPEM(certificate.get());
  return pem;
}

std::vector<std::uint8_t> SigningIdentity::certificateDER() const {
  return certificateToDER(state_->chain.front().get());
}

}  // namespace fnd
