#pragma once

// What the controls' tests share: the application, a bundle whose resources
// are the installer's own, and a bundle made of resources a test writes.

#include <QTemporaryDir>
#include <map>
#include <memory>
#include <string>

#include "foundation/bundle.h"

namespace controls_test {

// A bundle whose Resources folder is the source tree's installer/resources.
std::shared_ptr<fnd::Bundle> installerResourcesBundle();

// A temporary bundle holding the given resources (file name → content).
class ResourceBundle {
 public:
  explicit ResourceBundle(const std::map<std::string, std::string>& files);
  std::shared_ptr<fnd::Bundle> bundle() const { return bundle_; }

 private:
  QTemporaryDir folder_;
  std::shared_ptr<fnd::Bundle> bundle_;
};

}  // namespace controls_test
