#include "devtools/distribution_server/test_certificates.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <memory>
#include <utility>
#include <vector>

#include "foundation/error.h"
#include "foundation/file_manager.h"

namespace korvia::distribution {
namespace {

struct Free {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(X509* certificate) const { X509_free(certificate); }
  void operator()(BIO* bio) const { BIO_free(bio); }
  void operator()(BIGNUM* number) const { BN_free(number); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;
using Certificate = std::unique_ptr<X509, Free>;

constexpr long kValiditySeconds = 10L * 365 * 24 * 3600;

fnd::Error cryptoError(std::string_view what) {
  char text[256] = {};
  ERR_error_string_n(ERR_get_error(), text, sizeof text);
  return fnd::Error(fnd::NSCocoaErrorDomain, fnd::NSFileWriteUnknownError,
                    {{fnd::Value(fnd::NSLocalizedDescriptionKey), fnd::Value(std::string(what) + ": " + text)}});
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

fnd::Expected<Certificate> makeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                                           const std::vector<std::pair<int, const char*>>& extensions) {
  Certificate certificate(X509_new());
  if (!certificate) return cryptoError("X509_new");
  std::unique_ptr<BIGNUM, Free> serial(BN_new());
  if (!serial || BN_rand(serial.get(), 120, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
      !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get()))) {
    return cryptoError("serial number");
  }
  X509_set_version(certificate.get(), X509_VERSION_3);
  // An hour back, so clocks a little apart still agree it is valid.
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), kValiditySeconds);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Korvia Test"), -1, -1,
                             0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                             0);
  X509* signer = issuer ? issuer : certificate.get();
  X509_set_issuer_name(certificate.get(), X509_get_subject_name(signer));
  if (X509_set_pubkey(certificate.get(), key) != 1) return cryptoError("public key");
  for (const auto& [nid, value] : extensions) {
    if (!addExtension(certificate.get(), signer, nid, value)) return cryptoError("extension");
  }
  if (X509_sign(certificate.get(), issuerKey ? issuerKey : key, EVP_sha256()) <= 0) return cryptoError("signing");
  return certificate;
}

fnd::Expected<void> writePEM(const std::string& path, X509* certificate, EVP_PKEY* key, mode_t mode) {
  std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
  if (!bio) return cryptoError("BIO_new");
  const bool written = certificate ? PEM_write_bio_X509(bio.get(), certificate) == 1
                                   : PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  if (!written) return cryptoError("PEM");
  char* bytes = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &bytes);
  fnd::FileAttributeChanges attributes;
  attributes.posixPermissions = static_cast<std::uint16_t>(mode);
  return fnd::FileManager::defaultManager().createFileAtPath(
      path, {reinterpret_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(length)}, attributes);
}

}  // namespace

fnd::Expected<void> makeTestCertificates(const std::string& folder) {
  if (auto made = fnd::FileManager::defaultManager().createDirectoryAtPath(folder, true); !made) return made.error();
  Key caKey(EVP_EC_gen("P-256"));
  Key serverKey(EVP_EC_gen("P-256"));
  if (!caKey || !serverKey) return cryptoError("key generation");
  auto ca = makeCertificate(caKey.get(), "Korvia Test Certificate Authority", nullptr, nullptr,
                            {{NID_basic_constraints, "critical,CA:TRUE"},
                             {NID_key_usage, "critical,keyCertSign,cRLSign"},
                             {NID_subject_key_identifier, "hash"}});
  if (!ca) return ca.error();
  auto server = makeCertificate(serverKey.get(), "localhost", ca->get(), caKey.get(),
                                {{NID_basic_constraints, "critical,CA:FALSE"},
                                 {NID_key_usage, "critical,digitalSignature,keyEncipherment"},
                                 {NID_ext_key_usage, "serverAuth"},
                                 {NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1"},
                                 {NID_subject_key_identifier, "hash"},
                                 {NID_authority_key_identifier, "keyid:always"}});
  if (!server) return server.error();
  if (auto w = writePEM(folder + "/ca.pem", ca->get(), nullptr, 0644); !w) return w.error();
  if (auto w = writePEM(folder + "/ca-key.pem", nullptr, caKey.get(), 0600); !w) return w.error();
  if (auto w = writePEM(folder + "/server.pem", server->get(), nullptr, 0644); !w) return w.error();
  if (auto w = writePEM(folder + "/server-key.pem", nullptr, serverKey.get(), 0600); !w) return w.error();
  return fnd::success();
}

}  // namespace korvia::distribution
