#pragma once

// Cryptographic primitives and byte encodings: AES-256-CBC with PKCS#7
// padding, MD5/SHA-1/SHA-256 digests, Base64 and hexadecimal text, and secure
// random bytes. Cipher and random failures use the platform's common-crypto
// status codes in NSOSStatusErrorDomain, so callers test them the same way
// everywhere; malformed text fails with NSCocoaErrorDomain 2048.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/expected.h"

// The crypto library's digest context, declared here so this header does not
// pull in the library's own headers.
struct evp_md_ctx_st;

namespace fnd {

// Common-crypto status codes, reported in NSOSStatusErrorDomain.
inline constexpr std::int64_t kCCParamError = -4300;
inline constexpr std::int64_t kCCBufferTooSmall = -4301;
inline constexpr std::int64_t kCCMemoryFailure = -4302;
inline constexpr std::int64_t kCCAlignmentError = -4303;
inline constexpr std::int64_t kCCDecodeError = -4304;
inline constexpr std::int64_t kCCUnimplemented = -4305;
inline constexpr std::int64_t kCCRNGFailure = -4307;
inline constexpr std::int64_t kCCKeySizeError = -4310;

namespace crypto {

inline constexpr std::size_t kAES256KeySize = 32;
inline constexpr std::size_t kAESBlockSize = 16;

// AES-256 in CBC mode with PKCS#7 padding. A key that is not 32 bytes fails
// with kCCKeySizeError, an IV that is not 16 bytes with kCCParamError.
Expected<std::vector<std::uint8_t>> aes256CBCEncrypt(std::span<const std::uint8_t> plaintext,
                                                     std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> iv);
// Ciphertext whose length is not a multiple of the block size fails with
// kCCAlignmentError; invalid padding (a wrong key, damaged or empty
// ciphertext) with kCCDecodeError. A failure never yields partial plaintext.
Expected<std::vector<std::uint8_t>> aes256CBCDecrypt(std::span<const std::uint8_t> ciphertext,
                                                     std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> iv);

// One-shot digests.
std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, 20> sha1(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes);

// A digest computed over bytes that arrive in pieces. Digests of these
// algorithms cannot fail short of memory exhaustion, which stops the process.
class Digest {
 public:
  enum class Algorithm { md5, sha1, sha256 };

  static std::size_t size(Algorithm algorithm);

  explicit Digest(Algorithm algorithm);
  Digest(Digest&& other) noexcept;
  Digest& operator=(Digest&& other) noexcept;
  ~Digest();

  Algorithm algorithm() const { return algorithm_; }

  // Updating or finishing a finished (or moved-from) digest is a programming
  // error.
  void update(std::span<const std::uint8_t> bytes);
  std::vector<std::uint8_t> finish();

 private:
  struct ContextDeleter {
    void operator()(evp_md_ctx_st* context) const;
  };

  Algorithm algorithm_;
  std::unique_ptr<evp_md_ctx_st, ContextDeleter> context_;
  bool finished_ = false;
};

// The digest of a file's contents, read in pieces. A missing file fails with
// NSCocoaErrorDomain 4, an unreadable one with 257 and any other read failure
// with 256; the POSIX error is the underlying error.
Expected<std::vector<std::uint8_t>> digestOfFile(Digest::Algorithm algorithm, const std::string& path);

// Bytes from the crypto library's secure generator; kCCRNGFailure when it
// cannot supply them.
Expected<std::vector<std::uint8_t>> randomBytes(std::size_t count);

// Base64 with the standard alphabet and "=" padding.
std::string base64Encode(std::span<const std::uint8_t> bytes);

enum class Base64DecodingOptions {
  none,
  // Spaces, tabs and line breaks anywhere in the text are skipped; any other
  // character outside the alphabet still fails.
  ignoreWhitespace,
};

// Strict: a character outside the alphabet, misplaced or missing padding, a
// length that is not a multiple of four, or non-zero bits after the last byte
// fail with NSCocoaErrorDomain 2048.
Expected<std::vector<std::uint8_t>> base64Decode(std::string_view text,
                                                 Base64DecodingOptions options = Base64DecodingOptions::none);

enum class HexLetterCase { lower, upper };

std::string hexEncode(std::span<const std::uint8_t> bytes, HexLetterCase letterCase = HexLetterCase::lower);
// Either letter case is accepted; an odd length or a non-hex character fails
// with NSCocoaErrorDomain 2048.
Expected<std::vector<std::uint8_t>> hexDecode(std::string_view text);

// Views of text as the bytes the functions above take.
inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace crypto
}  // namespace fnd
