#pragma once

// One progress report of a long interprocess operation.

#include "interface/model/afx_base_model_object.h"

class AFXInterprocessReport : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<AFXInterprocessReport> make();
  const fnd::Class& objectClass() const override { return staticClass(); }

 protected:
  AFXInterprocessReport() = default;
};
