#pragma once

// One web endpoint of a deployment: its base URL and whether it serves
// requests on its own (self-sufficient) or needs the customer's context.

#include <cstdint>
#include <memory>

#include "foundation/url.h"
#include "interface/model/afx_base_model_object.h"

inline constexpr std::uint64_t AFXEndpointTypeNeedy = 0;
inline constexpr std::uint64_t AFXEndpointTypeSelfSufficient = 1;

class AFXEndpoint final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  static std::shared_ptr<AFXEndpoint> initWithURL(std::shared_ptr<fnd::URL> url, std::uint64_t type);

  std::uint64_t type() const { return type_; }
  const std::shared_ptr<fnd::URL>& URL() const { return URL_; }
  bool isNeedy() const { return type_ == AFXEndpointTypeNeedy; }
  bool isSelfSufficient() const { return type_ == AFXEndpointTypeSelfSufficient; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  // By URL alone (two absent URLs are equal); the hash follows the URL only,
  // so equal endpoints of different types hash alike.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXEndpoint() = default;
  std::uint64_t type_ = AFXEndpointTypeNeedy;
  std::shared_ptr<fnd::URL> URL_;
};
