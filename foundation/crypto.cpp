#include "foundation/crypto.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <utility>

#include "foundation/check.h"
#include "foundation/format.h"

namespace fnd {
namespace crypto {
namespace {

// NSFormattingError.
constexpr std::int64_t kFormattingErrorCode = 2048;
// NSFileNoSuchFileError, NSFileReadUnknownError, NSFileReadNoPermissionError.
constexpr std::int64_t kFileNoSuchFileErrorCode = 4;
constexpr std::int64_t kFileReadUnknownErrorCode = 256;
constexpr std::int64_t kFileReadNoPermissionErrorCode = 257;

// The library counts lengths in int; longer inputs go through in pieces.
constexpr std::size_t kMaxLibraryChunk = std::size_t{1} << 30;
constexpr std::size_t kFileReadBufferSize = 64 * 1024;

Error statusError(std::int64_t code, std::string reason) {
  // A failed call leaves entries on the library's per-thread queue; drop them
  // so they are not blamed on a later, unrelated call.
  ERR_clear_error();
  return Error(NSOSStatusErrorDomain, code, {{Value(NSDebugDescriptionErrorKey), Value(std::move(reason))}});
}

Error formattingError(std::string reason) {
  return Error(NSCocoaErrorDomain, kFormattingErrorCode, {{Value(NSDebugDescriptionErrorKey), Value(std::move(reason))}});
}

// ---------------------------------------------------------------------------
// AES-256-CBC

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

enum class Direction { encrypt, decrypt };

std::optional<Error> checkKeyAndIV(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv) {
  if (key.size() != kAES256KeySize)
    return statusError(kCCKeySizeError, StringWithFormat("AES-256 needs a 32-byte key, not %zu bytes", key.size()));
  if (iv.size() != kAESBlockSize)
    return statusError(kCCParamError, StringWithFormat("AES-CBC needs a 16-byte IV, not %zu bytes", iv.size()));
  return std::nullopt;
}

// Runs the whole input through an initialised context. On failure the output
// is wiped before it is dropped, so no partial plaintext lingers in memory.
Expected<std::vector<std::uint8_t>> runCipher(EVP_CIPHER_CTX* context, Direction direction,
                                              std::span<const std::uint8_t> input) {
  std::vector<std::uint8_t> output(input.size() + kAESBlockSize);
  std::size_t written = 0;
  auto fail = [&output](std::int64_t code, const char* reason) {
    OPENSSL_cleanse(output.data(), output.size());
    return statusError(code, reason);
  };
  for (std::size_t offset = 0; offset < input.size(); offset += kMaxLibraryChunk) {
    const int chunk = static_cast<int>(std::min(kMaxLibraryChunk, input.size() - offset));
    int chunkWritten = 0;
    if (EVP_CipherUpdate(context, output.data() + written, &chunkWritten, input.data() + offset, chunk) != 1)
      return fail(kCCParamError, "The cipher rejected its input");
    written += static_cast<std::size_t>(chunkWritten);
  }
  int finalWritten = 0;
  if (EVP_CipherFinal_ex(context, output.data() + written, &finalWritten) != 1) {
    if (direction == Direction::decrypt)
      return fail(kCCDecodeError, "The ciphertext does not end in valid padding");
    return fail(kCCParamError, "The cipher could not pad its input");
  }
  output.resize(written + static_cast<std::size_t>(finalWritten));
  return output;
}

Expected<std::vector<std::uint8_t>> aes256CBC(Direction direction, std::span<const std::uint8_t> input,
                                              std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv) {
  if (auto error = checkKeyAndIV(key, iv))
    return *error;
  if (direction == Direction::decrypt && input.size() % kAESBlockSize != 0) {
    return statusError(kCCAlignmentError,
                       StringWithFormat("AES ciphertext must be a multiple of 16 bytes, not %zu", input.size()));
  }
  CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!context)
    return statusError(kCCMemoryFailure, "No memory for a cipher context");
  const int encrypt = direction == Direction::encrypt ? 1 : 0;
  if (EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt) != 1)
    return statusError(kCCUnimplemented, "AES-256-CBC is not available");
  return runCipher(context.get(), direction, input);
}

// ---------------------------------------------------------------------------
// Digests

[[noreturn]] void digestFailed() {
  programmingError("The crypto library could not compute a digest");
}

const EVP_MD* messageDigest(Digest::Algorithm algorithm) {
  switch (algorithm) {
    case Digest::Algorithm::md5:
      return EVP_md5();
    case Digest::Algorithm::sha1:
      return EVP_sha1();
    case Digest::Algorithm::sha256:
      return EVP_sha256();
  }
  FND_NOT_REACHED();
}

template <std::size_t N>
std::array<std::uint8_t, N> oneShotDigest(Digest::Algorithm algorithm, std::span<const std::uint8_t> bytes) {
  std::array<std::uint8_t, N> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, messageDigest(algorithm), nullptr) != 1 ||
      length != N) {
    digestFailed();
  }
  return digest;
}

// ---------------------------------------------------------------------------
// Files

std::int64_t fileErrorCode(int posixError) {
  switch (posixError) {
    case ENOENT:
    case ENOTDIR:
      return kFileNoSuchFileErrorCode;
    case EACCES:
    case EPERM:
      return kFileReadNoPermissionErrorCode;
    default:
      return kFileReadUnknownErrorCode;
  }
}

Error fileError(const std::string& path, int posixError) {
  return Error(NSCocoaErrorDomain, fileErrorCode(posixError),
               {{Value(NSFilePathErrorKey), Value(path)},
                {Value(NSUnderlyingErrorKey), Value(Error(NSPOSIXErrorDomain, posixError))}});
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (descriptor_ >= 0)
      ::close(descriptor_);
  }
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

// Feeds the whole file to `digest`; the errno of a failed read otherwise.
std::optional<int> digestDescriptor(int descriptor, Digest& digest) {
  std::vector<std::uint8_t> buffer(kFileReadBufferSize);
  for (;;) {
    const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
    if (count == 0)
      return std::nullopt;
    if (count < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    digest.update(std::span(buffer.data(), static_cast<std::size_t>(count)));
  }
}

// ---------------------------------------------------------------------------
// Base64

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kBase64Padding = '=';

constexpr std::array<std::int8_t, 256> makeBase64DecodeTable() {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}
constexpr std::array<std::int8_t, 256> kBase64DecodeTable = makeBase64DecodeTable();

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string describeCharacter(char c, std::size_t offset) {
  return StringWithFormat("character 0x%02x at offset %zu", static_cast<unsigned>(static_cast<unsigned char>(c)),
                          offset);
}

// Decodes one character at a time, four characters to a quantum of up to
// three bytes; padding may only close the last quantum.
class Base64Decoder {
 public:
  explicit Base64Decoder(std::size_t textLength) { bytes_.reserve(textLength / 4 * 3); }

  std::optional<Error> take(char c, std::size_t offset) {
    if (ended_)
      return formattingError("Base64 text continues after its padding: " + describeCharacter(c, offset));
    if (c == kBase64Padding) {
      if (filled_ < 2)
        return formattingError("Misplaced Base64 padding: " + describeCharacter(c, offset));
      ++padding_;
    } else {
      const std::int8_t sextet = kBase64DecodeTable[static_cast<unsigned char>(c)];
      if (sextet < 0)
        return formattingError("Invalid Base64 " + describeCharacter(c, offset));
      if (padding_ > 0)
        return formattingError("Base64 data inside padding: " + describeCharacter(c, offset));
      quantum_ = (quantum_ << 6) | static_cast<std::uint32_t>(sextet);
    }
    if (++filled_ == 4)
      return completeQuantum(offset);
    return std::nullopt;
  }

  Expected<std::vector<std::uint8_t>> finish() && {
    if (filled_ != 0)
      return formattingError("Base64 text is cut short: its length is not a multiple of 4");
    return std::move(bytes_);
  }

 private:
  // A padded quantum carries 2 or 4 bits past its last byte; they must be
  // zero, so that each byte string has exactly one encoding.
  std::optional<Error> completeQuantum(std::size_t offset) {
    switch (padding_) {
      case 0:
        push(quantum_ >> 16, quantum_ >> 8, quantum_);
        break;
      case 1:
        if ((quantum_ & 0x3) != 0)
          return formattingError(StringWithFormat("Non-zero bits before Base64 padding at offset %zu", offset));
        push(quantum_ >> 10, quantum_ >> 2);
        break;
      default:
        if ((quantum_ & 0xf) != 0)
          return formattingError(StringWithFormat("Non-zero bits before Base64 padding at offset %zu", offset));
        push(quantum_ >> 4);
        break;
    }
    ended_ = padding_ > 0;
    quantum_ = 0;
    filled_ = 0;
    return std::nullopt;
  }

  template <class... Bits>
  void push(Bits... bits) {
    (bytes_.push_back(static_cast<std::uint8_t>(bits & 0xff)), ...);
  }

  std::vector<std::uint8_t> bytes_;
  std::uint32_t quantum_ = 0;
  int filled_ = 0;
  int padding_ = 0;
  bool ended_ = false;
};

// ---------------------------------------------------------------------------
// Hexadecimal

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace

Expected<std::vector<std::uint8_t>> aes256CBCEncrypt(std::span<const std::uint8_t> plaintext,
                                                     std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> iv) {
  return aes256CBC(Direction::encrypt, plaintext, key, iv);
}

Expected<std::vector<std::uint8_t>> aes256CBCDecrypt(std::span<const std::uint8_t> ciphertext,
                                                     std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> iv) {
  return aes256CBC(Direction::decrypt, ciphertext, key, iv);
}

std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> bytes) {
  return oneShotDigest<16>(Digest::Algorithm::md5, bytes);
}

std::array<std::uint8_t, 20> sha1(std::span<const std::uint8_t> bytes) {
  return oneShotDigest<20>(Digest::Algorithm::sha1, bytes);
}

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
  return oneShotDigest<32>(Digest::Algorithm::sha256, bytes);
}

void Digest::ContextDeleter::operator()(evp_md_ctx_st* context) const {
  EVP_MD_CTX_free(context);
}

std::size_t Digest::size(Algorithm algorithm) {
  switch (algorithm) {
    case Algorithm::md5:
      return 16;
    case Algorithm::sha1:
      return 20;
    case Algorithm::sha256:
      return 32;
  }
  FND_NOT_REACHED();
}

Digest::Digest(Algorithm algorithm) : algorithm_(algorithm), context_(EVP_MD_CTX_new()) {
  if (!context_ || EVP_DigestInit_ex(context_.get(), messageDigest(algorithm), nullptr) != 1)
    digestFailed();
}

// A moved-from digest counts as finished, so using it trips the same check.
Digest::Digest(Digest&& other) noexcept
    : algorithm_(other.algorithm_),
      context_(std::move(other.context_)),
      finished_(std::exchange(other.finished_, true)) {}

Digest& Digest::operator=(Digest&& other) noexcept {
  algorithm_ = other.algorithm_;
  context_ = std::move(other.context_);
  finished_ = std::exchange(other.finished_, true);
  return *this;
}

Digest::~Digest() = default;

void Digest::update(std::span<const std::uint8_t> bytes) {
  FND_PARAMETER_ASSERT(!finished_);
  if (EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) != 1)
    digestFailed();
}

std::vector<std::uint8_t> Digest::finish() {
  FND_PARAMETER_ASSERT(!finished_);
  finished_ = true;
  std::vector<std::uint8_t> digest(size(algorithm_));
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1 || length != digest.size())
    digestFailed();
  return digest;
}

Expected<std::vector<std::uint8_t>> digestOfFile(Digest::Algorithm algorithm, const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0)
    return fileError(path, errno);
  Digest digest(algorithm);
  if (auto readError = digestDescriptor(file.get(), digest))
    return fileError(path, *readError);
  return digest.finish();
}

Expected<std::vector<std::uint8_t>> randomBytes(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t offset = 0; offset < count; offset += kMaxLibraryChunk) {
    const int chunk = static_cast<int>(std::min(kMaxLibraryChunk, count - offset));
    if (RAND_bytes(bytes.data() + offset, chunk) != 1)
      return statusError(kCCRNGFailure, "The secure random generator could not supply bytes");
  }
  return bytes;
}

std::string base64Encode(std::span<const std::uint8_t> bytes) {
  std::string text((bytes.size() + 2) / 3 * 4, kBase64Padding);
  char* out = text.data();
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t triple = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    *out++ = kBase64Alphabet[triple >> 18];
    *out++ = kBase64Alphabet[(triple >> 12) & 0x3f];
    *out++ = kBase64Alphabet[(triple >> 6) & 0x3f];
    *out++ = kBase64Alphabet[triple & 0x3f];
  }
  const std::size_t remaining = bytes.size() - i;
  if (remaining > 0) {
    const std::uint32_t triple = (std::uint32_t{bytes[i]} << 16) | (remaining == 2 ? bytes[i + 1] << 8 : 0);
    *out++ = kBase64Alphabet[triple >> 18];
    *out++ = kBase64Alphabet[(triple >> 12) & 0x3f];
    if (remaining == 2)
      *out = kBase64Alphabet[(triple >> 6) & 0x3f];
  }
  return text;
}

Expected<std::vector<std::uint8_t>> base64Decode(std::string_view text, Base64DecodingOptions options) {
  const bool skipWhitespace = options == Base64DecodingOptions::ignoreWhitespace;
  Base64Decoder decoder(text.size());
  for (std::size_t offset = 0; offset < text.size(); ++offset) {
    const char c = text[offset];
    if (skipWhitespace && isWhitespace(c))
      continue;
    if (auto error = decoder.take(c, offset))
      return *error;
  }
  return std::move(decoder).finish();
}

std::string hexEncode(std::span<const std::uint8_t> bytes, HexLetterCase letterCase) {
  const char* digits = letterCase == HexLetterCase::upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[2 * i] = digits[bytes[i] >> 4];
    text[2 * i + 1] = digits[bytes[i] & 0xf];
  }
  return text;
}

Expected<std::vector<std::uint8_t>> hexDecode(std::string_view text) {
  if (text.size() % 2 != 0)
    return formattingError(StringWithFormat("Hexadecimal text has an odd length, %zu", text.size()));
  std::vector<std::uint8_t> bytes(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int value = hexDigitValue(text[i]);
    if (value < 0)
      return formattingError("Invalid hexadecimal " + describeCharacter(text[i], i));
    bytes[i / 2] = static_cast<std::uint8_t>((bytes[i / 2] << 4) | value);
  }
  return bytes;
}

}  // namespace crypto
}  // namespace fnd
