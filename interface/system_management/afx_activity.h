#pragma once

// Something a process is doing that keeps the desktop client's services
// alive until it stops: a random identifier, the tier that holds it and why.

#include <memory>
#include <optional>
#include <string>

#include "foundation/uuid.h"
#include "interface/model/afx_base_model_object.h"

class AFXActivity final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A new activity with a new random identifier.
  static std::shared_ptr<AFXActivity> initWithTierName(std::string tierName, std::string reason);

  const std::shared_ptr<fnd::UUID>& identifier() const { return identifier_; }
  const std::optional<std::string>& tierName() const { return tierName_; }
  const std::optional<std::string>& reason() const { return reason_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  // Activities are the same when their identifiers are.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXActivity() = default;
  std::shared_ptr<fnd::UUID> identifier_;
  std::optional<std::string> tierName_;
  std::optional<std::string> reason_;
};
