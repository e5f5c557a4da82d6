#include "foundation/code_signing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/err.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

#include "foundation/array.h"
#include "foundation/bundle.h"
#include "foundation/clock.h"
#include "foundation/code_signing_internal.h"
#include "foundation/crypto.h"
#include "foundation/data.h"
#include "foundation/file_manager.h"
#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/process.h"
#include "foundation/property_list.h"
#include "foundation/string.h"

namespace fnd {

namespace {

using namespace signing;

// The manifest of a real bundle is well under a megabyte per thousand files;
// anything near these limits is hostile.
constexpr std::size_t kMaximumManifestSize = std::size_t{64} << 20;
constexpr std::size_t kMaximumSignatureSize = std::size_t{1} << 20;
constexpr std::size_t kMaximumSealedItems = std::size_t{1} << 20;
constexpr std::size_t kMaximumChainLength = 16;
constexpr std::int64_t kManifestVersion = 1;

constexpr std::string_view kManifestVersionKey = "version";
constexpr std::string_view kManifestIdentifierKey = "identifier";
constexpr std::string_view kManifestMainExecutableKey = "mainExecutable";
constexpr std::string_view kManifestEntitlementsKey = "entitlements";
constexpr std::string_view kManifestFilesKey = "files";
constexpr std::string_view kSealHashKey = "hash";
constexpr std::string_view kSealSymlinkKey = "symlink";

Error statusError(std::int64_t status, std::string detail, std::vector<Dictionary::Entry> more = {}) {
  more.emplace_back(Value(NSDebugDescriptionErrorKey), Value(std::move(detail)));
  return Error(NSOSStatusErrorDomain, status, Dictionary::make(std::move(more)));
}

// How one item of the bundle is sealed: a file by its digest, a link by its
// target text; anything else cannot be sealed and never matches.
struct Seal {
  enum class Kind { file, symlink, other };
  Kind kind = Kind::other;
  std::string value;

  friend bool operator==(const Seal&, const Seal&) = default;
};

using Seals = std::map<std::string, Seal>;

std::string signaturePath(const std::string& bundle, std::string_view file) {
  return bundle + "/" + std::string(CodeSigning::kSignatureFolder) + "/" + std::string(file);
}

Expected<Seal> sealOf(const std::filesystem::directory_entry& entry) {
  std::error_code error;
  const auto status = entry.symlink_status(error);
  if (error) return statusError(errSecCSBadResource, "cannot examine " + entry.path().string());
  Seal seal;
  if (std::filesystem::is_symlink(status)) {
    seal.kind = Seal::Kind::symlink;
    seal.value = std::filesystem::read_symlink(entry.path(), error).string();
    if (error) return statusError(errSecCSBadResource, "cannot read link " + entry.path().string());
  } else if (std::filesystem::is_regular_file(status)) {
    auto digest = crypto::digestOfFile(crypto::Digest::Algorithm::sha256, entry.path().string());
    if (!digest) return statusError(errSecCSBadResource, "cannot read " + entry.path().string());
    seal.kind = Seal::Kind::file;
    seal.value = crypto::hexEncode(*digest);
  }
  return seal;
}

// Every item of the bundle but the signature's own folder, by path relative
// to the bundle. Links are sealed, not followed.
Expected<Seals> sealsOnDisk(const std::string& bundle) {
  Seals seals;
  std::error_code error;
  std::filesystem::recursive_directory_iterator walk(bundle, std::filesystem::directory_options::none, error);
  for (; !error && walk != std::filesystem::recursive_directory_iterator(); walk.increment(error)) {
    const std::string relative = walk->path().lexically_relative(bundle).generic_string();
    if (relative == CodeSigning::kSignatureFolder) {
      walk.disable_recursion_pending();
      continue;
    }
    std::error_code kindError;
    if (std::filesystem::is_directory(walk->symlink_status(kindError))) continue;
    if (seals.size() == kMaximumSealedItems) return statusError(errSecCSBadResource, "too many files to seal");
    auto seal = sealOf(*walk);
    if (!seal) return seal.error();
    seals.emplace(relative, std::move(*seal));
  }
  if (error) return statusError(errSecCSBadResource, "cannot list " + bundle + ": " + error.message());
  return seals;
}

Expected<std::shared_ptr<Dictionary>> manifestFiles(const Seals& seals) {
  std::vector<Dictionary::Entry> files;
  files.reserve(seals.size());
  for (const auto& [path, seal] : seals) {
    std::shared_ptr<Dictionary> entry;
    if (seal.kind == Seal::Kind::file) {
      auto digest = crypto::hexDecode(seal.value);
      if (!digest) return digest.error();
      entry = Dictionary::make({{Value(kSealHashKey), Value(Data::make(std::move(*digest)))}});
    } else if (seal.kind == Seal::Kind::symlink) {
      entry = Dictionary::make({{Value(kSealSymlinkKey), Value(seal.value)}});
    } else {
      return statusError(errSecCSBadResource, "cannot seal " + path + ": neither a file nor a link");
    }
    files.emplace_back(Value(path), Value(entry));
  }
  return Dictionary::make(std::move(files));
}

// Reads one of the signature's files, refusing links and oversized files.
// None when the file is absent.
Expected<std::optional<std::string>> readSignatureFile(const std::string& path, std::size_t limit) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::optional<std::string>();
    return statusError(errSecCSSignatureFailed, "cannot open " + path);
  }
  struct stat info {};
  std::string bytes;
  bool good = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::size_t>(info.st_size) <= limit;
  char buffer[65536];
  while (good) {
    const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      good = count == 0;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
    good = bytes.size() <= limit;
  }
  ::close(descriptor);
  if (!good) return statusError(errSecCSSignatureFailed, "unreadable or oversized " + path);
  return std::optional<std::string>(std::move(bytes));
}

// The configured anchors: every certificate of the PEM file the environment
// names. None when unset or unreadable.
std::vector<X509Ptr> platformAnchors() {
  auto path = environmentValue(kCodeSignatureAnchorEnvironment);
  if (!path) return {};
  auto pem = FileManager::defaultManager().contentsAtPath(*path);
  if (!pem) return {};
  return certificatesFromPEM(std::string_view(reinterpret_cast<const char*>(pem->data()), pem->size()));
}

// A verified signature: the manifest's contents and the certificates.
struct Signature {
  std::shared_ptr<Dictionary> manifest;
  X509Ptr leaf;
  std::vector<X509Ptr> certificates;  // every certificate the signature carries
};

Expected<std::shared_ptr<Dictionary>> parseManifest(const std::string& bytes) {
  auto plist = PropertyListSerialization::propertyListWithData(crypto::bytesOf(bytes));
  auto manifest = plist ? plist->as<Dictionary>() : nullptr;
  if (!manifest || manifest->objectForKey(kManifestVersionKey).integerValue() != kManifestVersion ||
      !manifest->objectForKey(kManifestFilesKey).as<Dictionary>()) {
    return statusError(errSecCSSignatureFailed, "the sealed-resources manifest is malformed");
  }
  return manifest;
}

Expected<Signature> verifiedCMS(const std::string& manifestBytes, const std::string& signatureBytes) {
  BIOPtr signatureBIO = memoryBIO(signatureBytes);
  CMSPtr cms(signatureBIO ? d2i_CMS_bio(signatureBIO.get(), nullptr) : nullptr);
  if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed ||
      sk_CMS_SignerInfo_num(CMS_get0_SignerInfos(cms.get())) != 1) {
    return statusError(errSecCSSignatureFailed, "the signature is not one signed-data signature: " + lastCryptoError());
  }
  BIOPtr content = memoryBIO(manifestBytes);
  // The chain is a matter of requirements; here only the signature itself.
  if (!content || CMS_verify(cms.get(), nullptr, nullptr, content.get(), nullptr,
                             CMS_BINARY | CMS_DETACHED | CMS_NO_SIGNER_CERT_VERIFY) != 1) {
    return statusError(errSecCSSignatureFailed,
                       "invalid signature (code or signature have been modified): " + lastCryptoError());
  }
  Signature signature;
  // get0_signers hands out borrowed certificates: only the stack is ours.
  struct BorrowedStackDeleter {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
  };
  std::unique_ptr<STACK_OF(X509), BorrowedStackDeleter> signers(CMS_get0_signers(cms.get()));
  if (!signers || sk_X509_num(signers.get()) != 1) return statusError(errSecCSSignatureFailed, "no signer");
  X509* leaf = sk_X509_value(signers.get(), 0);
  X509_up_ref(leaf);
  signature.leaf.reset(leaf);
  CertificateStackPtr carried(CMS_get1_certs(cms.get()));
  for (int i = 0; carried && i < sk_X509_num(carried.get()); ++i) {
    X509* certificate = sk_X509_value(carried.get(), i);
    X509_up_ref(certificate);
    signature.certificates.emplace_back(certificate);
  }
  return signature;
}

// Unsigned when either file is absent, else the verified signature.
Expected<std::optional<Signature>> readSignature(const StaticCode& code) {
  auto manifestBytes = readSignatureFile(signaturePath(code.path(), CodeSigning::kResourcesFileName),
                                         kMaximumManifestSize);
  if (!manifestBytes) return manifestBytes.error();
  auto signatureBytes = readSignatureFile(signaturePath(code.path(), CodeSigning::kSignatureFileName),
                                          kMaximumSignatureSize);
  if (!signatureBytes) return signatureBytes.error();
  if (!*manifestBytes || !*signatureBytes) return std::optional<Signature>();
  auto signature = verifiedCMS(**manifestBytes, **signatureBytes);
  if (!signature) return signature.error();
  auto manifest = parseManifest(**manifestBytes);
  if (!manifest) return manifest.error();
  signature->manifest = std::move(*manifest);
  return std::optional<Signature>(std::move(*signature));
}

Expected<Seals> signedSeals(const Dictionary& files) {
  Seals seals;
  for (const auto& [key, value] : files.entries()) {
    auto path = key.stringValue();
    auto entry = value.as<Dictionary>();
    if (!path || !entry) return statusError(errSecCSSignatureFailed, "malformed manifest entry");
    Seal seal;
    if (auto digest = entry->objectForKey(kSealHashKey).as<Data>(); digest && digest->length() == 32) {
      seal.kind = Seal::Kind::file;
      seal.value = crypto::hexEncode(digest->bytes());
    } else if (auto target = entry->objectForKey(kSealSymlinkKey).stringValue()) {
      seal.kind = Seal::Kind::symlink;
      seal.value = *target;
    } else {
      return statusError(errSecCSSignatureFailed, "malformed manifest entry for " + *path);
    }
    seals.emplace(*path, std::move(seal));
  }
  return seals;
}

Value fileURLs(const std::string& bundle, const std::vector<std::string>& paths) {
  std::vector<Value> urls;
  for (const auto& path : paths) urls.emplace_back(Value(URL::fileURLWithPath(bundle + "/" + path)));
  return Value(Array::make(std::move(urls)));
}

Expected<void> compareResources(const std::string& bundle, const Dictionary& manifest) {
  auto expected = signedSeals(*manifest.objectForKey(kManifestFilesKey).as<Dictionary>());
  if (!expected) return expected.error();
  auto actual = sealsOnDisk(bundle);
  if (!actual) return actual.error();
  std::vector<std::string> added, altered, missing;
  for (const auto& [path, seal] : *actual) {
    auto found = expected->find(path);
    if (found == expected->end()) {
      added.push_back(path);
    } else if (!(found->second == seal)) {
      altered.push_back(path);
    }
  }
  for (const auto& [path, seal] : *expected) {
    if (!actual->contains(path)) missing.push_back(path);
  }
  if (added.empty() && altered.empty() && missing.empty()) return success();
  std::vector<Dictionary::Entry> info;
  if (!added.empty()) info.emplace_back(Value(kSecCFErrorResourceAdded), fileURLs(bundle, added));
  if (!altered.empty()) info.emplace_back(Value(kSecCFErrorResourceAltered), fileURLs(bundle, altered));
  if (!missing.empty()) info.emplace_back(Value(kSecCFErrorResourceMissing), fileURLs(bundle, missing));
  return statusError(errSecCSBadResource,
                     StringWithFormat("a sealed resource is missing or invalid (%lu added, %lu altered, %lu missing)",
                                      static_cast<unsigned long>(added.size()),
                                      static_cast<unsigned long>(altered.size()),
                                      static_cast<unsigned long>(missing.size())),
                     std::move(info));
}

std::optional<std::string> nameField(X509_NAME* name, std::string_view attribute) {
  const int nid = OBJ_txt2nid(std::string(attribute).c_str());
  if (nid == NID_undef) return std::nullopt;
  const int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return std::nullopt;
  unsigned char* text = nullptr;
  const int length = ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
  if (length < 0) return std::nullopt;
  std::string value(reinterpret_cast<char*>(text), static_cast<std::size_t>(length));
  OPENSSL_free(text);
  return value;
}

// What requirements see of one verified signature.
class SignatureContext final : public RequirementContext {
 public:
  explicit SignatureContext(const Signature& signature)
      : signature_(signature), anchors_(platformAnchors()), chain_(buildChain()) {}

  bool isAnchoredAtPlatformAnchor() const override {
    if (anchors_.empty()) return false;
    StorePtr store(X509_STORE_new());
    if (!store) return false;
    for (const auto& anchor : anchors_) X509_STORE_add_cert(store.get(), anchor.get());
    return verifies(store.get());
  }

  bool isAnchoredAtTrustedRoot() const override {
    StorePtr store(X509_STORE_new());
    if (!store) return false;
    for (const auto& anchor : anchors_) X509_STORE_add_cert(store.get(), anchor.get());
    X509_STORE_set_default_paths(store.get());
    return verifies(store.get());
  }

  std::optional<std::string> certificateField(int position, std::string_view field) const override {
    if (chain_.empty()) return std::nullopt;
    const std::size_t index = position < 0 ? chain_.size() - 1 : static_cast<std::size_t>(position);
    if (index >= chain_.size()) return std::nullopt;
    const auto dot = field.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string_view part = field.substr(0, dot);
    X509_NAME* name = part == "subject" ? X509_get_subject_name(chain_[index])
                      : part == "issuer" ? X509_get_issuer_name(chain_[index])
                                         : nullptr;
    return name ? nameField(name, field.substr(dot + 1)) : std::nullopt;
  }

  std::string signingIdentifier() const override {
    return signature_.manifest->objectForKey(kManifestIdentifierKey).stringValue().value_or("");
  }

  Value entitlement(std::string_view key) const override {
    auto entitlements = signature_.manifest->objectForKey(kManifestEntitlementsKey).as<Dictionary>();
    return entitlements ? entitlements->objectForKey(key) : Value();
  }

 private:
  // From the leaf up through the carried certificates (and the configured
  // anchors), each issuing the one below, until a self-signed one.
  std::vector<X509*> buildChain() const {
    std::vector<X509*> chain{signature_.leaf.get()};
    while (chain.size() < kMaximumChainLength) {
      X509* current = chain.back();
      if (X509_check_issued(current, current) == X509_V_OK) break;
      X509* issuer = findIssuer(current);
      if (!issuer) break;
      chain.push_back(issuer);
    }
    ERR_clear_error();
    return chain;
  }

  X509* findIssuer(X509* subject) const {
    for (const auto* pool : {&signature_.certificates, &anchors_}) {
      for (const auto& candidate : *pool) {
        if (X509_cmp(candidate.get(), subject) != 0 && X509_check_issued(candidate.get(), subject) == X509_V_OK) {
          return candidate.get();
        }
      }
    }
    return nullptr;
  }

  bool verifies(X509_STORE* store) const {
    StoreContextPtr context(X509_STORE_CTX_new());
    std::vector<X509*> untrusted;
    for (const auto& certificate : signature_.certificates) untrusted.push_back(certificate.get());
    CertificateStackPtr stack = stackOf(untrusted);
    if (!context || !stack || X509_STORE_CTX_init(context.get(), store, signature_.leaf.get(), stack.get()) != 1) {
      return false;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::current().wallNow().time_since_epoch()).count();
    X509_STORE_CTX_set_time(context.get(), 0, static_cast<time_t>(seconds));
    const bool verified = X509_verify_cert(context.get()) == 1;
    ERR_clear_error();
    return verified;
  }

  const Signature& signature_;
  std::vector<X509Ptr> anchors_;
  std::vector<X509*> chain_;
};

std::string bundleIdentifier(const std::string& bundlePath) {
  auto bundle = Bundle::bundleWithPath(bundlePath);
  std::string identifier = bundle ? bundle->bundleIdentifier() : "";
  if (!identifier.empty()) return identifier;
  return std::filesystem::path(bundlePath).stem().string();
}

// The main executable relative to the bundle, when the bundle names one.
Expected<std::optional<std::string>> mainExecutable(const std::string& bundlePath) {
  auto bundle = Bundle::bundleWithPath(bundlePath);
  if (!bundle || bundle->executableName().empty()) return std::optional<std::string>();
  auto path = bundle->executablePath();
  std::error_code error;
  if (!path || !std::filesystem::is_regular_file(*path, error)) {
    return statusError(errSecCSBadResource, "the main executable " + bundle->executableName() + " is missing");
  }
  return std::optional<std::string>(std::filesystem::path(*path).lexically_relative(bundlePath).generic_string());
}

Expected<std::string> signManifest(const std::string& manifest, const SigningIdentity& identity) {
  const auto& state = *identity.state();
  std::vector<X509*> others;
  for (std::size_t i = 1; i < state.chain.size(); ++i) others.push_back(state.chain[i].get());
  CertificateStackPtr stack = stackOf(others);
  BIOPtr content = memoryBIO(manifest);
  CMSPtr cms(stack && content ? CMS_sign(state.chain.front().get(), state.key.get(), stack.get(), content.get(),
                                         CMS_BINARY | CMS_DETACHED)
                              : nullptr);
  BIOPtr out(BIO_new(BIO_s_mem()));
  if (!cms || !out || i2d_CMS_bio(out.get(), cms.get()) != 1) {
    return statusError(errSecCSInternalError, "cannot sign: " + lastCryptoError());
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(out.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

Expected<std::string> manifestBytes(const std::string& bundlePath, const std::shared_ptr<Dictionary>& entitlements) {
  auto executable = mainExecutable(bundlePath);
  if (!executable) return executable.error();
  auto seals = sealsOnDisk(bundlePath);
  if (!seals) return seals.error();
  auto files = manifestFiles(*seals);
  if (!files) return files.error();
  std::vector<Dictionary::Entry> entries{{Value(kManifestVersionKey), Value(kManifestVersion)},
                                         {Value(kManifestIdentifierKey), Value(bundleIdentifier(bundlePath))}};
  if (*executable) entries.emplace_back(Value(kManifestMainExecutableKey), Value(**executable));
  if (entitlements) entries.emplace_back(Value(kManifestEntitlementsKey), Value(entitlements));
  entries.emplace_back(Value(kManifestFilesKey), Value(*files));
  auto bytes = PropertyListSerialization::dataWithPropertyList(Value(Dictionary::make(std::move(entries))),
                                                               PropertyListFormat::xml);
  if (!bytes) return bytes.error();
  return std::string(bytes->begin(), bytes->end());
}

Expected<void> writeFile(const std::string& path, std::string_view bytes) {
  return FileManager::defaultManager().createFileAtPath(path, crypto::bytesOf(bytes));
}

}  // namespace

Expected<std::shared_ptr<const StaticCode>> StaticCode::createWithPath(const URL& url, SecCSFlags flags) {
  (void)flags;
  const std::string path = url.path();
  struct stat info {};
  if (!url.isFileURL() || ::stat(path.c_str(), &info) != 0) {
    return statusError(errSecCSStaticCodeNotFound, "no code at " + url.absoluteString());
  }
  if (!S_ISDIR(info.st_mode)) return statusError(errSecCSBadObjectFormat, path + " is not a bundle");
  return std::shared_ptr<const StaticCode>(new StaticCode(path));
}

Expected<void> CodeSigning::checkValidity(const StaticCode& code, SecCSFlags flags, const Requirement* requirement) {
  (void)flags;
  auto signature = readSignature(code);
  if (!signature) return signature.error();
  if (!*signature) return statusError(errSecCSUnsigned, "code object is not signed at all");
  if (auto resources = compareResources(code.path(), *(*signature)->manifest); !resources) return resources;
  if (requirement && !requirement->isSatisfiedBy(SignatureContext(**signature))) {
    return statusError(errSecCSReqFailed, "code failed to satisfy specified code requirement(s)",
                       {{Value(kSecCFErrorRequirementFailed), Value(requirement->text())}});
  }
  return success();
}

Expected<std::shared_ptr<Dictionary>> CodeSigning::copySigningInformation(const StaticCode& code) {
  std::vector<Dictionary::Entry> info{{Value(kSecCodeInfoFormat), Value("bundle")}};
  auto executable = mainExecutable(code.path());
  if (executable && *executable) {
    info.emplace_back(Value(kSecCodeInfoMainExecutable), Value(URL::fileURLWithPath(code.path() + "/" + **executable)));
  }
  auto signature = readSignature(code);
  if (!signature) return signature.error();
  if (!*signature) return Dictionary::make(std::move(info));
  const Dictionary& manifest = *(*signature)->manifest;
  info.emplace_back(Value(kSecCodeInfoIdentifier), manifest.objectForKey(kManifestIdentifierKey));
  info.emplace_back(Value(kSecCodeInfoSource), Value("embedded"));
  if (auto entitlements = manifest.objectForKey(kManifestEntitlementsKey).as<Dictionary>()) {
    info.emplace_back(Value(kSecCodeInfoEntitlementsDict), Value(entitlements));
  }
  SignatureContext context(**signature);
  if (auto team = context.certificateField(0, "subject.OU")) info.emplace_back(Value(kSecCodeInfoTeamIdentifier), Value(*team));
  std::vector<Value> certificates{Value(Data::make(certificateToDER((*signature)->leaf.get())))};
  for (const auto& certificate : (*signature)->certificates) {
    if (X509_cmp(certificate.get(), (*signature)->leaf.get()) != 0) {
      certificates.emplace_back(Value(Data::make(certificateToDER(certificate.get()))));
    }
  }
  info.emplace_back(Value(kSecCodeInfoCertificates), Value(Array::make(std::move(certificates))));
  return Dictionary::make(std::move(info));
}

Expected<void> CodeSigning::signBundle(const std::string& bundlePath, const SigningIdentity& identity,
                                       const std::shared_ptr<Dictionary>& entitlements) {
  auto code = StaticCode::createWithPath(*URL::fileURLWithPath(bundlePath, true));
  if (!code) return code.error();
  const std::string bundle = (*code)->path();
  auto manifest = manifestBytes(bundle, entitlements);
  if (!manifest) return manifest.error();
  auto signature = signManifest(*manifest, identity);
  if (!signature) return signature.error();
  const std::string folder = bundle + "/" + std::string(kSignatureFolder);
  if (auto made = FileManager::defaultManager().createDirectoryAtPath(folder, true); !made) return made;
  if (auto written = writeFile(signaturePath(bundle, kResourcesFileName), *manifest); !written) return written;
  return writeFile(signaturePath(bundle, kSignatureFileName), *signature);
}

std::optional<std::string> CodeSigning::messageForStatus(std::int64_t status) {
  switch (status) {
    case errSecCSStaticCodeNotFound:
      return "cannot find code object on disk";
    case errSecCSUnsigned:
      return "code object is not signed at all";
    case errSecCSSignatureFailed:
      return "invalid signature (code or signature have been modified)";
    case errSecCSBadResource:
      return "a sealed resource is missing or invalid";
    case errSecCSReqInvalid:
      return "invalid or corrupted code requirement(s)";
    case errSecCSReqFailed:
      return "code failed to satisfy specified code requirement(s)";
    case errSecCSBadObjectFormat:
      return "the object file format is unrecognized, invalid, or unsuitable";
    case errSecCSInternalError:
      return "internal error in Code Signing subsystem";
    default:
      return std::nullopt;
  }
}

}  // namespace fnd
