#include "interface/model/afx_secure_serialization.h"

#include <algorithm>

#include "foundation/check.h"
#include "foundation/crypto.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"

namespace afx_model_detail {

namespace {

constexpr std::array<std::uint8_t, 16> kZeroIV{};

}  // namespace

SerializationKey serializationKeyFromText(std::string_view text) {
  FND_PARAMETER_ASSERT(text.size() == 44);
  const std::string encoded = fnd::crypto::base64Encode(fnd::crypto::bytesOf(text));
  SerializationKey key{};
  std::copy_n(encoded.begin(), key.size(), key.begin());
  return key;
}

std::vector<std::uint8_t> secureSerialize(const fnd::Value& record, const SerializationKey& key) {
  auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(record);
  FND_PARAMETER_ASSERT(archive.hasValue());
  auto ciphertext = fnd::crypto::aes256CBCEncrypt(*archive, key, kZeroIV);
  FND_PARAMETER_ASSERT(ciphertext.hasValue());
  return std::move(ciphertext).value();
}

fnd::Value secureDeserialize(std::span<const std::uint8_t> data, const SerializationKey& key, const fnd::Class& cls) {
  auto plaintext = fnd::crypto::aes256CBCDecrypt(data, key, kZeroIV);
  if (!plaintext) return fnd::Value();
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(cls, *plaintext);
  if (!decoded || !decoded->isKindOfClass(cls)) return fnd::Value();
  return *decoded;
}

}  // namespace afx_model_detail
