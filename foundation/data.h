#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "foundation/object.h"

namespace fnd {

// An immutable run of bytes ("NSData"; "NSMutableData" differs in class only).
class Data final : public Object {
 public:
  static const Class& staticClass();
  static const Class& mutableClass();

  static std::shared_ptr<Data> make(std::vector<std::uint8_t> bytes);
  static std::shared_ptr<Data> make(std::string_view bytes);
  static std::shared_ptr<Data> makeMutable(std::vector<std::uint8_t> bytes);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t length() const { return bytes_.size(); }
  std::string_view asStringView() const;

  const Class& objectClass() const override { return *class_; }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  // "{length = 3, bytes = 0x616263}", eliding the middle of long data.
  std::string description() const override;

 public:
  // Made only by the class itself (see ObjectToken).
  Data(ObjectToken<Data>, std::vector<std::uint8_t> bytes, const Class& cls) : bytes_(std::move(bytes)), class_(&cls) {}

 private:
  std::vector<std::uint8_t> bytes_;
  const Class* class_;
};

}  // namespace fnd
