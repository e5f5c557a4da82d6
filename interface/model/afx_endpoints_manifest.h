#pragma once

// What a deployment offers: its name and its web endpoints, read from the
// deployment's endpoints manifest document.

#include <memory>
#include <optional>
#include <string>

#include "foundation/dictionary.h"
#include "foundation/expected.h"
#include "foundation/url.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_endpoint.h"

class AFXEnvironment;
class AFXEnvironmentID;

class AFXEndpointsManifest final : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  static std::shared_ptr<AFXEndpointsManifest> make();

  // Reads the manifest document. Fails with the JSON reader's error for a
  // missing or mistyped name or endpoints list (then nothing is read), with
  // AFXErrorCodeCorruptedEndpointsManifest for an endpoint without a valid
  // base URL (the endpoints before it stay), and with the reader's error of
  // the first endpoint whose "self_sufficient" is missing or mistyped (its
  // endpoint and the later ones are still stored).
  [[nodiscard]] fnd::Expected<void> setupWithJSON(const std::shared_ptr<fnd::Dictionary>& json);

  // A new environment of this manifest with its folders (see AFXEnvironment).
  std::shared_ptr<AFXEnvironment> makeEnvironmentWithID(std::shared_ptr<AFXEnvironmentID> identifier);

  const std::optional<std::string>& name() const { return name_; }
  void setName(std::optional<std::string> name) { name_ = std::move(name); }
  const std::shared_ptr<fnd::URL>& originURL() const { return originURL_; }
  void setOriginURL(std::shared_ptr<fnd::URL> url) { originURL_ = std::move(url); }
  const std::shared_ptr<AFXEndpoint>& endpointForCustomerAPI() const { return customer_; }
  const std::shared_ptr<AFXEndpoint>& endpointForStoreAPI() const { return store_; }
  const std::shared_ptr<AFXEndpoint>& endpointForUsageReportingAPI() const { return reporting_; }
  const std::shared_ptr<AFXEndpoint>& endpointForRecommendationsAPI() const { return recommendations_; }
  void setEndpointForCustomerAPI(std::shared_ptr<AFXEndpoint> endpoint) { customer_ = std::move(endpoint); }
  void setEndpointForStoreAPI(std::shared_ptr<AFXEndpoint> endpoint) { store_ = std::move(endpoint); }
  void setEndpointForUsageReportingAPI(std::shared_ptr<AFXEndpoint> endpoint) { reporting_ = std::move(endpoint); }
  void setEndpointForRecommendationsAPI(std::shared_ptr<AFXEndpoint> endpoint) {
    recommendations_ = std::move(endpoint);
  }

  const fnd::Class& objectClass() const override { return staticClass(); }
  std::string description() const override;

 private:
  AFXEndpointsManifest() = default;
  // Stores the endpoint under its kind; unknown kinds are ignored.
  void storeEndpoint(const std::optional<std::string>& kind, std::shared_ptr<AFXEndpoint> endpoint);

  std::optional<std::string> name_;
  std::shared_ptr<fnd::URL> originURL_;
  std::shared_ptr<AFXEndpoint> customer_;
  std::shared_ptr<AFXEndpoint> store_;
  std::shared_ptr<AFXEndpoint> reporting_;
  std::shared_ptr<AFXEndpoint> recommendations_;
};
