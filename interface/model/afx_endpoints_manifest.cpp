#include "interface/model/afx_endpoints_manifest.h"

#include "foundation/format.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_environment.h"
#include "interface/model/afx_model_support.h"
#include "tools/qv_json_parser.h"

const fnd::Class& AFXEndpointsManifest::staticClass() {
  using afx_model_detail::memberProperty;
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXEndpointsManifest", AFXBaseMutableModelObject::staticClass(),
      [] { return std::shared_ptr<AFXEndpointsManifest>(new AFXEndpointsManifest); },
      {memberProperty("name", &AFXEndpointsManifest::name_),
       memberProperty("originURL", &AFXEndpointsManifest::originURL_),
       memberProperty("endpointForCustomerAPI", &AFXEndpointsManifest::customer_),
       memberProperty("endpointForStoreAPI", &AFXEndpointsManifest::store_),
       memberProperty("endpointForUsageReportingAPI", &AFXEndpointsManifest::reporting_),
       memberProperty("endpointForRecommendationsAPI", &AFXEndpointsManifest::recommendations_)},
      &AFXEndpointsManifest::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXEndpointsManifest::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("name", fnd::String::staticClass());
  reflection->addPropertyForSelector("originURL", fnd::URL::staticClass());
  reflection->addPropertyForSelector("endpointForCustomerAPI", AFXEndpoint::staticClass());
  reflection->addPropertyForSelector("endpointForStoreAPI", AFXEndpoint::staticClass());
  reflection->addPropertyForSelector("endpointForUsageReportingAPI", AFXEndpoint::staticClass());
  reflection->addPropertyForSelector("endpointForRecommendationsAPI", AFXEndpoint::staticClass());
  return reflection;
}

std::shared_ptr<AFXEndpointsManifest> AFXEndpointsManifest::make() {
  (void)staticClass();
  return std::shared_ptr<AFXEndpointsManifest>(new AFXEndpointsManifest);
}

void AFXEndpointsManifest::storeEndpoint(const std::optional<std::string>& kind,
                                         std::shared_ptr<AFXEndpoint> endpoint) {
  if (!kind) return;
  if (*kind == "customer") {
    customer_ = std::move(endpoint);
  } else if (*kind == "store") {
    store_ = std::move(endpoint);
  } else if (*kind == "reporting") {
    reporting_ = std::move(endpoint);
  } else if (*kind == "recommendations") {
    recommendations_ = std::move(endpoint);
  }
}

fnd::Expected<void> AFXEndpointsManifest::setupWithJSON(const std::shared_ptr<fnd::Dictionary>& json) {
  auto parser = QVJSONParser::initWithJSON(json);
  if (!parser) return QVJSONParserMissingValueError("data");
  auto name = parser->stringForKeyPath("data.attributes.name");
  name_ = name ? std::optional<std::string>(name->value()) : std::nullopt;
  auto endpoints = parser->objectForKeyPath("data.relationships.endpoints", fnd::Array::staticClass()).as<fnd::Array>();
  if (parser->lastError()) return *parser->lastError();

  std::optional<fnd::Error> firstError;
  for (const fnd::Value& element : *endpoints) {
    auto document = QVJSONParser::initWithJSON(element.as<fnd::Dictionary>());
    if (!document) return afx_endpoinstManifestIsCorruptedWithKey("base_url");
    auto kind = document->stringForKeyPath("data.id");
    auto baseURLText = document->stringForKeyPath("data.attributes.base_url");
    auto selfSufficient = document->numberForKeyPath("data.attributes.self_sufficient");
    if (!baseURLText) return afx_endpoinstManifestIsCorruptedWithKey("base_url");
    auto baseURL = fnd::URL::URLWithString(baseURLText->value());
    if (!baseURL) return afx_endpoinstManifestIsCorruptedWithKey("valid base_url");
    const bool isSelfSufficient = selfSufficient && selfSufficient->boolValue();
    storeEndpoint(kind ? std::optional<std::string>(kind->value()) : std::nullopt,
                  AFXEndpoint::initWithURL(std::move(baseURL),
                                           isSelfSufficient ? AFXEndpointTypeSelfSufficient : AFXEndpointTypeNeedy));
    if (document->lastError() && !firstError) firstError = document->lastError();
  }
  if (firstError) return *firstError;
  return fnd::success();
}

std::string AFXEndpointsManifest::description() const {
  return fnd::StringWithFormat("%@ name = %@, originURL = %@", AFXBaseMutableModelObject::description(),
                               name_.value_or("(null)"), fnd::Value(originURL_));
}

std::shared_ptr<AFXEnvironment> AFXEndpointsManifest::makeEnvironmentWithID(
    std::shared_ptr<AFXEnvironmentID> identifier) {
  // Folders shared by every deployment are settled once per process.
  static const std::shared_ptr<fnd::URL> appsDirectory = afx_environment_detail::appsDirectoryURL();
  static const std::shared_ptr<fnd::URL> teasersDirectory = afx_environment_detail::ensureTeasersDirectoryURL();

  auto environment = AFXEnvironment::initWithIdentifier(identifier,
                                                        std::static_pointer_cast<AFXEndpointsManifest>(shared_from_this()));
  environment->setURLForAppsDirectory(appsDirectory);
  environment->setURLForTeasersDirectory(teasersDirectory);
  environment->setURLForPersistentDirectory(afx_environment_detail::environmentDirectoryURL(*identifier, "Databases"));
  environment->setURLForResourcesDirectory(afx_environment_detail::environmentDirectoryURL(*identifier, "Resources"));
  return environment;
}
