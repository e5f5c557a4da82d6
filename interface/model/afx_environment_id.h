#pragma once

// Which deployment of the service back end a record belongs to: the
// production deployment (the default) or another one named by the URL of
// its endpoints manifest. The identifier's texts key preferences, folders,
// URLs and metrics per deployment.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/url.h"
#include "interface/model/afx_base_model_object.h"

// Where the default deployment's manifest lives: $KORVIA_STORE_URL when set
// and not empty, else the service's store host.
inline constexpr std::string_view AFXStoreURLVariable = "KORVIA_STORE_URL";
std::string AFXStoreBaseURLString();
// "/endpoints.json" on the store host.
std::shared_ptr<fnd::URL> AFXDefaultEndpointsManifestURL();

class AFXEnvironmentID : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();

  static std::shared_ptr<AFXEnvironmentID> defaultEnvironmentID();
  static std::shared_ptr<AFXEnvironmentID> environmentIDWithManifestURL(std::shared_ptr<fnd::URL> manifestURL);
  // Absent text or "default" is the default; a URL text names a deployment;
  // any other text falls back to the default.
  static std::shared_ptr<AFXEnvironmentID> environmentWithURLString(const std::optional<std::string>& text);
  static std::shared_ptr<AFXEnvironmentID> environmentWithUserDefaultsValue(const std::optional<std::string>& value);
  // The Base32 form of `URLQueryValue`; undecodable text gives the default.
  static std::shared_ptr<AFXEnvironmentID> environmentWithURLQueryValue(const std::optional<std::string>& value);

  virtual std::shared_ptr<fnd::URL> manifestURL() const = 0;
  virtual std::string userDefaultsValue() const = 0;
  virtual std::optional<std::string> URLQueryValue() const = 0;
  virtual std::string directoryName() const = 0;
  virtual bool isDefault() const = 0;
  virtual std::optional<std::string> statsdID() const = 0;
  virtual bool isAnalyticsTrackingEnabled() const = 0;

 protected:
  AFXEnvironmentID() = default;
};

class AFXDefaultEnvironmentID final : public AFXEnvironmentID {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<AFXDefaultEnvironmentID> make();

  const fnd::Class& objectClass() const override { return staticClass(); }
  std::shared_ptr<fnd::URL> manifestURL() const override { return AFXDefaultEndpointsManifestURL(); }
  std::string userDefaultsValue() const override { return "default"; }
  std::optional<std::string> URLQueryValue() const override { return std::nullopt; }
  std::string directoryName() const override { return "Default"; }
  bool isDefault() const override { return true; }
  std::optional<std::string> statsdID() const override { return "production"; }
  bool isAnalyticsTrackingEnabled() const override { return true; }

  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return "Default"; }

 private:
  AFXDefaultEnvironmentID() = default;
};

class AFXManifestURLBasedEnvironmentID final : public AFXEnvironmentID {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A null URL is a programming error.
  static std::shared_ptr<AFXManifestURLBasedEnvironmentID> initWithManifestURL(std::shared_ptr<fnd::URL> manifestURL);

  const fnd::Class& objectClass() const override { return staticClass(); }
  std::shared_ptr<fnd::URL> manifestURL() const override { return manifestURL_; }
  // The manifest URL's absolute string.
  std::string userDefaultsValue() const override;
  // RFC 4648 Base32, padded, of the absolute string.
  std::optional<std::string> URLQueryValue() const override;
  // Lower-case hexadecimal MD5 of the absolute string.
  std::string directoryName() const override;
  bool isDefault() const override { return false; }
  std::optional<std::string> statsdID() const override { return std::nullopt; }
  bool isAnalyticsTrackingEnabled() const override { return false; }

  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXManifestURLBasedEnvironmentID() = default;
  std::shared_ptr<fnd::URL> manifestURL_;
};

namespace afx_environment_id_detail {

// RFC 4648 Base32 with "=" padding.
std::string base32Encode(std::string_view bytes);
// Upper-case alphabet, padded to a multiple of eight; nullopt for anything
// else (wrong characters, misplaced padding, non-zero trailing bits).
std::optional<std::string> base32Decode(std::string_view text);

}  // namespace afx_environment_id_detail
