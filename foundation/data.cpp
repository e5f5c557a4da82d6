#include "foundation/data.h"

#include <functional>

#include "foundation/format.h"

namespace fnd {

const Class& Data::staticClass() {
  static const Class& cls = Class::define("NSData", &Object::staticClass(), [] { return make(std::vector<std::uint8_t>{}); });
  return cls;
}

const Class& Data::mutableClass() {
  static const Class& cls = Class::define("NSMutableData", &staticClass(), [] { return makeMutable({}); });
  return cls;
}

std::shared_ptr<Data> Data::make(std::vector<std::uint8_t> bytes) {
  return std::make_shared<Data>(ObjectToken<Data>{}, std::move(bytes), staticClass());
}

std::shared_ptr<Data> Data::make(std::string_view bytes) {
  return make(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::shared_ptr<Data> Data::makeMutable(std::vector<std::uint8_t> bytes) {
  return std::make_shared<Data>(ObjectToken<Data>{}, std::move(bytes), mutableClass());
}

std::string_view Data::asStringView() const {
  return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
}

bool Data::isEqual(const Object& other) const {
  const auto* d = dynamic_cast<const Data*>(&other);
  return d != nullptr && d->bytes_ == bytes_;
}

std::size_t Data::hash() const { return std::hash<std::string_view>{}(asStringView()); }

std::string Data::description() const {
  static constexpr char kHex[] = "0123456789abcdef";
  static constexpr std::size_t kShown = 24;  // bytes shown at each end of long data
  auto appendHex = [&](std::string& out, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      out.push_back(kHex[bytes_[i] >> 4]);
      out.push_back(kHex[bytes_[i] & 0xf]);
    }
  };
  std::string hex;
  if (bytes_.size() <= 2 * kShown) {
    appendHex(hex, 0, bytes_.size());
  } else {
    appendHex(hex, 0, kShown);
    hex += " ... ";
    appendHex(hex, bytes_.size() - kShown, bytes_.size());
  }
  return StringWithFormat("{length = %lu, bytes = 0x%@}", bytes_.size(), hex);
}

}  // namespace fnd
