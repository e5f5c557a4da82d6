#pragma once

// The encrypted form in which environments and customers travel between our
// own processes outside the interprocess channel (notifications, launch
// arguments). It is obfuscation between processes that share the key in
// their code, not protection against anyone who can read the binary: the
// key is fixed, the IV is zero. What matters is that any bytes, including
// hostile ones, decode to the expected record or to nothing.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "foundation/class.h"
#include "foundation/value.h"

namespace afx_model_detail {

using SerializationKey = std::array<std::uint8_t, 32>;

// The first 32 characters of the Base64 text of a 44-character text.
SerializationKey serializationKeyFromText(std::string_view text);

// Keyed archive of `record`, encrypted with AES-256-CBC, zero IV, PKCS#7.
// A record that cannot be archived or encrypted is a programming error.
std::vector<std::uint8_t> secureSerialize(const fnd::Value& record, const SerializationKey& key);

// The record of class `cls` (or a subclass), or nil for anything else:
// bytes encrypted with another key, damaged or random bytes, archives of
// other classes.
fnd::Value secureDeserialize(std::span<const std::uint8_t> data, const SerializationKey& key, const fnd::Class& cls);

}  // namespace afx_model_detail
