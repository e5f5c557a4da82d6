#pragma once

// The service's bundle-identifier scheme. An app integrated with the service
// carries "-korvia" in its bundle identifier: the app itself ends with it
// (base), its helpers continue after it (derived), and teasers live under
// "com.korvia.teaser.".

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/object.h"

using AFXKorviaBundleIDKind = std::int64_t;
inline constexpr AFXKorviaBundleIDKind AFXKorviaBundleIDKindBase = 1;
inline constexpr AFXKorviaBundleIDKind AFXKorviaBundleIDKindDerived = 2;
inline constexpr AFXKorviaBundleIDKind AFXKorviaBundleIDKindTeaser = 3;

// False when `text` is no service bundle identifier (no "-korvia" in any
// case). Otherwise the kind and, for base and derived identifiers, the app's
// own identifier (without a team prefix). Either out-parameter may be null.
bool AFXExtractKorviaBundleID(std::string_view text, std::optional<std::string>* base, AFXKorviaBundleIDKind* kind);

class AFXKorviaBundleID final : public fnd::Object {
 public:
  static const fnd::Class& staticClass();

  // Null when `bundleID` is no service bundle identifier.
  static std::shared_ptr<AFXKorviaBundleID> initWithBundleID(std::string_view bundleID);

  const std::string& bundleID() const { return bundleID_; }
  AFXKorviaBundleIDKind kind() const { return kind_; }
  const std::optional<std::string>& baseBundleID() const { return baseBundleID_; }
  std::optional<std::string> derivedBundleID() const;
  std::optional<std::string> teaserBundleID() const;

  // The identifier is immutable: a copy is the object itself.
  std::shared_ptr<AFXKorviaBundleID> copy() const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

  // Only "bundleID" is archived; decoding derives the rest and fails for
  // text that is no service bundle identifier.
  bool supportsSecureCoding() const override { return true; }
  void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;

 private:
  AFXKorviaBundleID() = default;
  bool setUp(std::string_view bundleID);

  std::string bundleID_;
  AFXKorviaBundleIDKind kind_ = 0;
  std::optional<std::string> baseBundleID_;
};
