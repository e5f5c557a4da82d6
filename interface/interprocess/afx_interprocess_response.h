#pragma once

// The answer to one interprocess request; each operation has its own class.

#include "interface/model/afx_base_model_object.h"

class AFXInterprocessResponse : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<AFXInterprocessResponse> make();
  const fnd::Class& objectClass() const override { return staticClass(); }

 protected:
  AFXInterprocessResponse() = default;
};
