#include "foundation/uuid.h"

#include <sys/random.h>

#include <cerrno>
#include <functional>
#include <string_view>

#include "foundation/check.h"

namespace fnd {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void fillRandom(UUID::Bytes& bytes) {
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t n = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    // The kernel's generator does not fail for 16 bytes once booted.
    FND_PARAMETER_ASSERT(n > 0);
    filled += static_cast<std::size_t>(n);
  }
}

}  // namespace

const Class& UUID::staticClass() {
  static const Class& cls = Class::define("NSUUID", &Object::staticClass(), [] { return make(); });
  return cls;
}

std::shared_ptr<UUID> UUID::make() {
  Bytes bytes;
  fillRandom(bytes);
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
  return makeWithBytes(bytes);
}

std::shared_ptr<UUID> UUID::makeWithBytes(const Bytes& bytes) { return std::shared_ptr<UUID>(new UUID(bytes)); }

std::shared_ptr<UUID> UUID::makeWithString(std::string_view text) {
  if (text.size() != 36) return nullptr;
  Bytes bytes{};
  std::size_t b = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return nullptr;
      ++i;
      continue;
    }
    int high = hexDigit(text[i]);
    int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return nullptr;
    bytes[b++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  return makeWithBytes(bytes);
}

std::string UUID::UUIDString() const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kHex[bytes_[i] >> 4]);
    text.push_back(kHex[bytes_[i] & 0xf]);
  }
  return text;
}

bool UUID::isEqual(const Object& other) const {
  const auto* u = dynamic_cast<const UUID*>(&other);
  return u != nullptr && u->bytes_ == bytes_;
}

std::size_t UUID::hash() const {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

}  // namespace fnd
