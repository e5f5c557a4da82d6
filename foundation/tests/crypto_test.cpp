#include "foundation/crypto.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fnd::crypto {
namespace {

constexpr std::int64_t kFormattingError = 2048;

using Bytes = std::vector<std::uint8_t>;

Bytes fromHex(std::string_view text) {
  auto bytes = hexDecode(text);
  EXPECT_TRUE(bytes) << text;
  return bytes.valueOr(Bytes{});
}

template <class Container>
std::string toHex(const Container& bytes) {
  return hexEncode(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
}

Bytes toBytes(std::string_view text) {
  auto view = bytesOf(text);
  return Bytes(view.begin(), view.end());
}

void expectStatus(const Expected<Bytes>& result, std::int64_t code) {
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().domain(), NSOSStatusErrorDomain);
  EXPECT_EQ(result.error().code(), code) << result.error().description();
}

// CBC-AES256 example vectors for encryption (four blocks, no padding).
struct AesVector {
  Bytes key = fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  Bytes iv = fromHex("000102030405060708090a0b0c0d0e0f");
  Bytes plaintext = fromHex(
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
      "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  std::string ciphertextHex =
      "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
      "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b";
  // The block-sized run of 0x10 that PKCS#7 appends, chained on the last block.
  std::string paddingBlockHex = "3f461796d6b0d6b2e0c2a72b4d80e644";

  Bytes encrypt() const { return aes256CBCEncrypt(plaintext, key, iv).value(); }
};

TEST(AES256CBC, MatchesReferenceBlocksAndAppendsOnePaddingBlock) {
  AesVector vector;
  Bytes ciphertext = vector.encrypt();
  ASSERT_EQ(ciphertext.size(), vector.plaintext.size() + kAESBlockSize);
  EXPECT_EQ(toHex(ciphertext), vector.ciphertextHex + vector.paddingBlockHex);

  auto plaintext = aes256CBCDecrypt(ciphertext, vector.key, vector.iv);
  ASSERT_TRUE(plaintext);
  EXPECT_EQ(*plaintext, vector.plaintext);
}

TEST(AES256CBC, RoundTripsEveryPaddingLength) {
  AesVector vector;
  for (std::size_t length = 0; length <= 3 * kAESBlockSize; ++length) {
    Bytes plaintext(vector.plaintext.begin(), vector.plaintext.begin() + static_cast<std::ptrdiff_t>(length));
    auto ciphertext = aes256CBCEncrypt(plaintext, vector.key, vector.iv);
    ASSERT_TRUE(ciphertext);
    EXPECT_EQ(ciphertext->size(), (length / kAESBlockSize + 1) * kAESBlockSize) << length;
    auto decrypted = aes256CBCDecrypt(*ciphertext, vector.key, vector.iv);
    ASSERT_TRUE(decrypted) << length;
    EXPECT_EQ(*decrypted, plaintext);
  }
}

TEST(AES256CBC, RejectsWrongKeyAndIVSizes) {
  AesVector vector;
  Bytes ciphertext = vector.encrypt();
  for (std::size_t keySize : {0, 16, 24, 31, 33}) {
    Bytes key(keySize, 0x42);
    expectStatus(aes256CBCEncrypt(vector.plaintext, key, vector.iv), kCCKeySizeError);
    expectStatus(aes256CBCDecrypt(ciphertext, key, vector.iv), kCCKeySizeError);
  }
  for (std::size_t ivSize : {0, 8, 15, 17, 32}) {
    Bytes iv(ivSize, 0x42);
    expectStatus(aes256CBCEncrypt(vector.plaintext, vector.key, iv), kCCParamError);
    expectStatus(aes256CBCDecrypt(ciphertext, vector.key, iv), kCCParamError);
  }
}

TEST(AES256CBC, DamagedCiphertextFailsWithoutPlaintext) {
  AesVector vector;
  const Bytes ciphertext = vector.encrypt();

  Bytes truncated(ciphertext.begin(), ciphertext.end() - 1);
  expectStatus(aes256CBCDecrypt(truncated, vector.key, vector.iv), kCCAlignmentError);
  expectStatus(aes256CBCDecrypt(Bytes(15, 0), vector.key, vector.iv), kCCAlignmentError);
  expectStatus(aes256CBCDecrypt(Bytes{}, vector.key, vector.iv), kCCDecodeError);

  // Scrambles the whole final block; for these fixed bytes the result is not
  // valid padding.
  Bytes tamperedLastBlock = ciphertext;
  tamperedLastBlock[ciphertext.size() - kAESBlockSize] ^= 0x01;
  expectStatus(aes256CBCDecrypt(tamperedLastBlock, vector.key, vector.iv), kCCDecodeError);

  // CBC turns a flip in the previous block into the same flip of the padding
  // byte: 0x10 becomes 0x20, which can never be valid.
  Bytes tamperedPaddingByte = ciphertext;
  tamperedPaddingByte[ciphertext.size() - kAESBlockSize - 1] ^= 0x30;
  expectStatus(aes256CBCDecrypt(tamperedPaddingByte, vector.key, vector.iv), kCCDecodeError);
}

TEST(AES256CBC, WrongKeyFailsToDecrypt) {
  AesVector vector;
  Bytes wrongKey = vector.key;
  wrongKey.back() ^= 0x01;
  // Fixed key and ciphertext whose wrong-key decryption ends in invalid
  // padding (a random pair would pass the padding check about 1 time in 256).
  expectStatus(aes256CBCDecrypt(vector.encrypt(), wrongKey, vector.iv), kCCDecodeError);
}

TEST(Digests, MD5MatchesTheReferenceSuite) {
  const std::pair<std::string_view, std::string_view> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : suite)
    EXPECT_EQ(toHex(md5(bytesOf(message))), digest) << '"' << message << '"';
}

TEST(Digests, SHAMatchesTheStandardExamples) {
  constexpr std::string_view kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(toHex(sha1(bytesOf("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(toHex(sha1(bytesOf(kTwoBlocks))), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(toHex(sha256(bytesOf("abc"))), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(toHex(sha256(bytesOf(kTwoBlocks))), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Digests, MillionAsStreamedInUnevenChunks) {
  const std::pair<Digest::Algorithm, std::string_view> expected[] = {
      {Digest::Algorithm::md5, "7707d6ae4e027c70eea2a935c2296f21"},
      {Digest::Algorithm::sha1, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {Digest::Algorithm::sha256, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  const Bytes as(5000, 'a');
  const std::size_t chunkSizes[] = {1, 63, 64, 65, 0, 127, 4097, 1000};
  for (const auto& [algorithm, digest] : expected) {
    Digest stream(algorithm);
    std::size_t remaining = 1'000'000;
    for (std::size_t i = 0; remaining > 0; ++i) {
      const std::size_t chunk = std::min(chunkSizes[i % std::size(chunkSizes)], remaining);
      stream.update(std::span(as.data(), chunk));
      remaining -= chunk;
    }
    EXPECT_EQ(toHex(stream.finish()), digest);
  }
}

TEST(Digests, StreamingEqualsOneShotForAnySplit) {
  std::mt19937 random(20240611);
  Bytes message(10'000);
  for (auto& byte : message)
    byte = static_cast<std::uint8_t>(random());

  for (int trial = 0; trial < 20; ++trial) {
    const std::size_t length = random() % message.size();
    std::span<const std::uint8_t> prefix(message.data(), length);
    Digest streams[] = {Digest(Digest::Algorithm::md5), Digest(Digest::Algorithm::sha1),
                        Digest(Digest::Algorithm::sha256)};
    for (std::size_t offset = 0; offset < length;) {
      const std::size_t chunk = std::min<std::size_t>(random() % 300, length - offset);
      for (auto& stream : streams)
        stream.update(prefix.subspan(offset, chunk));
      offset += chunk;
    }
    EXPECT_EQ(toHex(streams[0].finish()), toHex(md5(prefix))) << length;
    EXPECT_EQ(toHex(streams[1].finish()), toHex(sha1(prefix))) << length;
    EXPECT_EQ(toHex(streams[2].finish()), toHex(sha256(prefix))) << length;
  }
}

TEST(Digests, MovedDigestKeepsItsState) {
  Digest first(Digest::Algorithm::sha256);
  first.update(bytesOf("a"));
  Digest second = std::move(first);
  second.update(bytesOf("bc"));
  EXPECT_EQ(toHex(second.finish()), toHex(sha256(bytesOf("abc"))));
}

TEST(DigestsDeathTest, UsingAFinishedDigestIsAProgrammingError) {
  EXPECT_DEATH(
      {
        Digest digest(Digest::Algorithm::sha1);
        (void)digest.finish();
        (void)digest.finish();
      },
      "Invalid parameter not satisfying: !finished_");
  EXPECT_DEATH(
      {
        Digest digest(Digest::Algorithm::md5);
        (void)digest.finish();
        digest.update(bytesOf("late"));
      },
      "Invalid parameter not satisfying: !finished_");
}

class DigestOfFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "fnd-crypto-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string write(const std::string& name, const Bytes& contents) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(contents.data()),
                                                 static_cast<std::streamsize>(contents.size()));
    return path;
  }

  static void expectFileError(const Expected<Bytes>& result, std::int64_t code, int posixError,
                              const std::string& path) {
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().is(NSCocoaErrorDomain, code)) << result.error().description();
    EXPECT_EQ(result.error().userInfoValue(NSFilePathErrorKey).stringValue(), path);
    auto underlying = result.error().underlyingError();
    ASSERT_TRUE(underlying);
    EXPECT_TRUE(underlying->is(NSPOSIXErrorDomain, posixError)) << underlying->description();
  }

  std::filesystem::path folder_;
};

TEST_F(DigestOfFile, HashesContentsLargerThanOneRead) {
  Bytes contents(200 * 1024 + 17);
  for (std::size_t i = 0; i < contents.size(); ++i)
    contents[i] = static_cast<std::uint8_t>(i * 31 + 7);
  auto digest = digestOfFile(Digest::Algorithm::sha256, write("large", contents));
  ASSERT_TRUE(digest);
  EXPECT_EQ(toHex(*digest), toHex(sha256(contents)));

  auto empty = digestOfFile(Digest::Algorithm::md5, write("empty", {}));
  ASSERT_TRUE(empty);
  EXPECT_EQ(toHex(*empty), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(DigestOfFile, ReportsUnreadableFiles) {
  const std::string missing = (folder_ / "missing").string();
  expectFileError(digestOfFile(Digest::Algorithm::sha256, missing), 4, ENOENT, missing);
  expectFileError(digestOfFile(Digest::Algorithm::sha256, folder_.string()), 256, EISDIR, folder_.string());

  const std::string locked = write("locked", toBytes("secret"));
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  if (::access(locked.c_str(), R_OK) == 0)
    GTEST_SKIP() << "permissions are not enforced for this user";
  expectFileError(digestOfFile(Digest::Algorithm::sha256, locked), 257, EACCES, locked);
}

TEST(RandomBytes, FillsTheRequestedLengthWithFreshBytes) {
  auto none = randomBytes(0);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  auto first = randomBytes(32);
  auto second = randomBytes(32);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->size(), 32u);
  EXPECT_NE(*first, *second);
}

void expectFormattingError(const Expected<Bytes>& result, std::string_view text) {
  ASSERT_FALSE(result) << '"' << text << '"';
  EXPECT_TRUE(result.error().is(NSCocoaErrorDomain, kFormattingError)) << result.error().description();
  EXPECT_TRUE(result.error().userInfoValue(NSDebugDescriptionErrorKey).stringValue()) << '"' << text << '"';
}

TEST(Base64, EncodesAndDecodesTheStandardVectors) {
  const std::pair<std::string_view, std::string_view> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(bytesOf(plain)), encoded);
    auto decoded = base64Decode(encoded);
    ASSERT_TRUE(decoded) << encoded;
    EXPECT_EQ(*decoded, toBytes(plain));
  }
}

TEST(Base64, RoundTripsEveryByteValue) {
  Bytes all(256);
  for (std::size_t i = 0; i < all.size(); ++i)
    all[i] = static_cast<std::uint8_t>(i);
  const std::string encoded = base64Encode(all);
  EXPECT_NE(encoded.find('+'), std::string::npos);
  EXPECT_NE(encoded.find('/'), std::string::npos);
  auto decoded = base64Decode(encoded);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, all);
}

TEST(Base64, RejectsMalformedText) {
  using namespace std::string_view_literals;
  for (std::string_view text : {"Zm9v="sv, "Zm9"sv, "Zm9v!"sv, "Zg=a"sv, "Zg="sv, "=Zg="sv, "Z==="sv, "Zg==Zg=="sv,
                                "Zm9v\n"sv, "Zm-v"sv, "Zm_v"sv, "Zh=="sv, "Zm9="sv, "Zm\0v"sv}) {
    expectFormattingError(base64Decode(text), text);
  }
  auto error = base64Decode("Zm9v!").error();
  EXPECT_NE(error.userInfoValue(NSDebugDescriptionErrorKey).stringValue()->find("offset 4"), std::string::npos);
}

TEST(Base64, IgnoresOnlyWhitespaceWhenAsked) {
  const auto options = Base64DecodingOptions::ignoreWhitespace;
  auto wrapped = base64Decode("Zm9v\r\nYmFy\n", options);
  ASSERT_TRUE(wrapped);
  EXPECT_EQ(*wrapped, toBytes("foobar"));
  auto spaced = base64Decode(" Zg =\t= ", options);
  ASSERT_TRUE(spaced);
  EXPECT_EQ(*spaced, toBytes("f"));

  expectFormattingError(base64Decode("Zm9v!YmFy", options), "Zm9v!YmFy");
  expectFormattingError(base64Decode("Zm9\n", options), "Zm9\\n");
  expectFormattingError(base64Decode("Zg==\nZg==", options), "Zg==\\nZg==");
}

TEST(Hex, EncodesInEitherCaseAndDecodesStrictly) {
  const Bytes bytes = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  EXPECT_EQ(hexEncode(bytes), "0123456789abcdef");
  EXPECT_EQ(hexEncode(bytes, HexLetterCase::upper), "0123456789ABCDEF");
  auto decoded = hexDecode("0123456789abCDEF");
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, bytes);
  auto empty = hexDecode("");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());

  for (std::string_view text : {"abc", "0g", "zz", " 0", "0x12", "12 "})
    expectFormattingError(hexDecode(text), text);
}

}  // namespace
}  // namespace fnd::crypto
