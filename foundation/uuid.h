#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/object.h"

namespace fnd {

class UUID final : public Object {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  static const Class& staticClass();

  // A new random (version 4) identifier.
  static std::shared_ptr<UUID> make();
  static std::shared_ptr<UUID> makeWithBytes(const Bytes& bytes);
  // Null unless the text is 8-4-4-4-12 hexadecimal digits, in either case.
  static std::shared_ptr<UUID> makeWithString(std::string_view text);

  const Bytes& bytes() const { return bytes_; }
  // Upper-case "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
  std::string UUIDString() const;

  const Class& objectClass() const override { return staticClass(); }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return UUIDString(); }

 private:
  explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

  Bytes bytes_;
};

}  // namespace fnd
