#include "interface/model/afx_endpoint.h"

#include "foundation/format.h"
#include "foundation/number.h"
#include "interface/model/afx_model_support.h"

const fnd::Class& AFXEndpoint::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXEndpoint", AFXBaseModelObject::staticClass(), [] { return std::shared_ptr<AFXEndpoint>(new AFXEndpoint); },
      {afx_model_detail::memberProperty("type", &AFXEndpoint::type_),
       afx_model_detail::memberProperty("URL", &AFXEndpoint::URL_)},
      &AFXEndpoint::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXEndpoint::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("type", fnd::Number::staticClass());
  reflection->addPropertyForSelector("URL", fnd::URL::staticClass());
  return reflection;
}

std::shared_ptr<AFXEndpoint> AFXEndpoint::initWithURL(std::shared_ptr<fnd::URL> url, std::uint64_t type) {
  (void)staticClass();
  auto endpoint = std::shared_ptr<AFXEndpoint>(new AFXEndpoint);
  endpoint->URL_ = std::move(url);
  endpoint->type_ = type;
  return endpoint;
}

bool AFXEndpoint::isEqual(const fnd::Object& other) const {
  const auto* endpoint = dynamic_cast<const AFXEndpoint*>(&other);
  return endpoint != nullptr && fnd::Value(URL_).isEqual(fnd::Value(endpoint->URL_));
}

std::size_t AFXEndpoint::hash() const { return afx_model_detail::hashOf(fnd::Value(URL_)); }

std::string AFXEndpoint::description() const {
  return fnd::StringWithFormat("%@ type = %@, URL = %@", AFXBaseModelObject::description(), type_, fnd::Value(URL_));
}
