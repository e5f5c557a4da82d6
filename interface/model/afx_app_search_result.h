#pragma once

// One hit of a catalogue search: the app and how well it matched.

#include <memory>

#include "interface/model/afx_app.h"
#include "interface/model/afx_base_model_object.h"

class AFXAppSearchResult final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  static std::shared_ptr<AFXAppSearchResult> initWithApp(std::shared_ptr<AFXCodedApp> app, float score);

  const std::shared_ptr<AFXCodedApp>& app() const { return app_; }
  float score() const { return score_; }

  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  AFXAppSearchResult() = default;
  std::shared_ptr<AFXCodedApp> app_;
  float score_ = 0;
};
