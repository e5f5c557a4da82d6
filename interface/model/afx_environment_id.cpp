#include "interface/model/afx_environment_id.h"

#include <cstdlib>

#include "foundation/check.h"
#include "foundation/url.h"
#include "foundation/crypto.h"
#include "foundation/format.h"
#include "interface/model/afx_model_support.h"

namespace {

constexpr std::string_view kBase32Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

int base32Digit(char c) {
  const auto position = kBase32Alphabet.find(c);
  return position == std::string_view::npos ? -1 : static_cast<int>(position);
}

}  // namespace

namespace afx_environment_id_detail {

std::string base32Encode(std::string_view bytes) {
  std::string text;
  std::uint64_t buffer = 0;
  int bits = 0;
  for (unsigned char byte : bytes) {
    buffer = (buffer << 8) | byte;
    bits += 8;
    while (bits >= 5) {
      bits -= 5;
      text.push_back(kBase32Alphabet[(buffer >> bits) & 0x1f]);
    }
  }
  if (bits > 0) text.push_back(kBase32Alphabet[(buffer << (5 - bits)) & 0x1f]);
  while (text.size() % 8 != 0) text.push_back('=');
  return text;
}

std::optional<std::string> base32Decode(std::string_view text) {
  if (text.size() % 8 != 0) return std::nullopt;
  const auto firstPad = text.find('=');
  const std::string_view digits = text.substr(0, firstPad);
  if (firstPad != std::string_view::npos && text.find_first_not_of('=', firstPad) != std::string_view::npos) {
    return std::nullopt;
  }
  // Only these counts of digits end a group: 2, 4, 5, 7 (and 0, 8).
  const std::size_t tail = digits.size() % 8;
  if (tail == 1 || tail == 3 || tail == 6) return std::nullopt;
  std::string bytes;
  std::uint64_t buffer = 0;
  int bits = 0;
  for (char c : digits) {
    const int digit = base32Digit(c);
    if (digit < 0) return std::nullopt;
    buffer = (buffer << 5) | static_cast<std::uint64_t>(digit);
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((buffer >> bits) & 0xff));
    }
  }
  if ((buffer & ((1u << bits) - 1)) != 0) return std::nullopt;
  return bytes;
}

}  // namespace afx_environment_id_detail

std::string AFXStoreBaseURLString() {
  return fnd::baseURLStringFromEnvironment(AFXStoreURLVariable, "https://store.korvia.com");
}

std::shared_ptr<fnd::URL> AFXDefaultEndpointsManifestURL() {
  return fnd::URL::URLWithString(AFXStoreBaseURLString() + "/endpoints.json");
}

// AFXEnvironmentID

const fnd::Class& AFXEnvironmentID::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXEnvironmentID", AFXBaseModelObject::staticClass(), {}, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXEnvironmentID> AFXEnvironmentID::defaultEnvironmentID() { return AFXDefaultEnvironmentID::make(); }

std::shared_ptr<AFXEnvironmentID> AFXEnvironmentID::environmentIDWithManifestURL(
    std::shared_ptr<fnd::URL> manifestURL) {
  return AFXManifestURLBasedEnvironmentID::initWithManifestURL(std::move(manifestURL));
}

std::shared_ptr<AFXEnvironmentID> AFXEnvironmentID::environmentWithURLString(const std::optional<std::string>& text) {
  if (!text || *text == "default") return defaultEnvironmentID();
  auto url = fnd::URL::URLWithString(*text);
  // A deployment is named by an absolute manifest URL; a bare word parses as a
  // relative reference and names nothing.
  if (!url || url->scheme().empty()) return defaultEnvironmentID();
  return environmentIDWithManifestURL(std::move(url));
}

std::shared_ptr<AFXEnvironmentID> AFXEnvironmentID::environmentWithUserDefaultsValue(
    const std::optional<std::string>& value) {
  return environmentWithURLString(value);
}

std::shared_ptr<AFXEnvironmentID> AFXEnvironmentID::environmentWithURLQueryValue(
    const std::optional<std::string>& value) {
  if (!value) return defaultEnvironmentID();
  return environmentWithURLString(afx_environment_id_detail::base32Decode(*value));
}

// AFXDefaultEnvironmentID

const fnd::Class& AFXDefaultEnvironmentID::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXDefaultEnvironmentID", AFXEnvironmentID::staticClass(),
      [] { return std::shared_ptr<AFXDefaultEnvironmentID>(new AFXDefaultEnvironmentID); }, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXDefaultEnvironmentID> AFXDefaultEnvironmentID::make() {
  (void)staticClass();
  return std::shared_ptr<AFXDefaultEnvironmentID>(new AFXDefaultEnvironmentID);
}

bool AFXDefaultEnvironmentID::isEqual(const fnd::Object& other) const {
  return other.isKindOfClass(staticClass());
}

std::size_t AFXDefaultEnvironmentID::hash() const { return std::hash<std::string>{}("default"); }

// AFXManifestURLBasedEnvironmentID

const fnd::Class& AFXManifestURLBasedEnvironmentID::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXManifestURLBasedEnvironmentID", AFXEnvironmentID::staticClass(),
      [] { return std::shared_ptr<AFXManifestURLBasedEnvironmentID>(new AFXManifestURLBasedEnvironmentID); },
      {afx_model_detail::memberProperty("manifestURL", &AFXManifestURLBasedEnvironmentID::manifestURL_)},
      &AFXManifestURLBasedEnvironmentID::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXManifestURLBasedEnvironmentID::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("manifestURL", fnd::URL::staticClass());
  return reflection;
}

std::shared_ptr<AFXManifestURLBasedEnvironmentID> AFXManifestURLBasedEnvironmentID::initWithManifestURL(
    std::shared_ptr<fnd::URL> manifestURL) {
  FND_PARAMETER_ASSERT(manifestURL != nullptr);
  (void)staticClass();
  auto identifier = std::shared_ptr<AFXManifestURLBasedEnvironmentID>(new AFXManifestURLBasedEnvironmentID);
  identifier->manifestURL_ = std::move(manifestURL);
  return identifier;
}

std::string AFXManifestURLBasedEnvironmentID::userDefaultsValue() const {
  return manifestURL_ ? manifestURL_->absoluteString() : std::string();
}

std::optional<std::string> AFXManifestURLBasedEnvironmentID::URLQueryValue() const {
  return afx_environment_id_detail::base32Encode(userDefaultsValue());
}

std::string AFXManifestURLBasedEnvironmentID::directoryName() const {
  return fnd::crypto::hexEncode(fnd::crypto::md5(fnd::crypto::bytesOf(userDefaultsValue())));
}

bool AFXManifestURLBasedEnvironmentID::isEqual(const fnd::Object& other) const {
  const auto* identifier = dynamic_cast<const AFXManifestURLBasedEnvironmentID*>(&other);
  return identifier != nullptr && afx_model_detail::sameObjects(fnd::Value(manifestURL_), fnd::Value(identifier->manifestURL_));
}

std::size_t AFXManifestURLBasedEnvironmentID::hash() const {
  return afx_model_detail::hashOf(fnd::Value(manifestURL_));
}

std::string AFXManifestURLBasedEnvironmentID::description() const {
  return fnd::StringWithFormat("Manifest URL %@", userDefaultsValue());
}
