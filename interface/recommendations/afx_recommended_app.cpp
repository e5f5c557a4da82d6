#include "interface/recommendations/afx_recommended_app.h"

#include <algorithm>

#include "foundation/check.h"
#include "foundation/string.h"
#include "interface/model/afx_model_support.h"

const fnd::Class& AFXRecommendedApp::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXRecommendedApp", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFXRecommendedApp>(new AFXRecommendedApp); },
      {afx_model_detail::memberProperty("appID", &AFXRecommendedApp::appID_),
       {"recommendedList",
        [](const fnd::Object& object) { return fnd::Value(dynamic_cast<const AFXRecommendedApp&>(object).recommendedList_); },
        [](fnd::Object& object, const fnd::Value& value) {
          auto list = value.as<fnd::Array>();
          dynamic_cast<AFXRecommendedApp&>(object).recommendedList_ = list ? list : fnd::Array::make();
        },
        false},
       // Nil (an absent key) reads as the default algorithm.
       {"recommendationsAlgorithm",
        [](const fnd::Object& object) {
          return fnd::Value(dynamic_cast<const AFXRecommendedApp&>(object).recommendationsAlgorithm_);
        },
        [](fnd::Object& object, const fnd::Value& value) {
          dynamic_cast<AFXRecommendedApp&>(object).recommendationsAlgorithm_ =
              value.stringValue().value_or(std::string(AFXRecommendationsDefaultAlgorithm));
        },
        false}},
      &AFXRecommendedApp::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXRecommendedApp::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("appID", fnd::Number::staticClass());
  reflection->addPropertyForSelector("recommendedList", fnd::Array::staticClass(), fnd::Number::staticClass());
  reflection->addPropertyForSelector("recommendationsAlgorithm", {&fnd::String::staticClass()},
                                     fnd::Value(AFXRecommendationsDefaultAlgorithm), nullptr);
  return reflection;
}

std::shared_ptr<AFXRecommendedApp> AFXRecommendedApp::initWithAppID(std::shared_ptr<fnd::Number> appID,
                                                                    std::shared_ptr<fnd::Array> recommendationsList,
                                                                    std::optional<std::string> recommendationsAlgorithm) {
  FND_PARAMETER_ASSERT_TEXT(appID != nullptr, "appID");
  auto app = std::dynamic_pointer_cast<AFXRecommendedApp>(staticClass().makeInstance());
  app->appID_ = std::move(appID);
  app->recommendedList_ = recommendationsList ? std::move(recommendationsList) : fnd::Array::make();
  app->recommendationsAlgorithm_ = recommendationsAlgorithm.value_or(std::string(AFXRecommendationsDefaultAlgorithm));
  return app;
}

std::shared_ptr<fnd::Array> AFXRecommendedApp::recommendedListExcludingIDs(const std::vector<fnd::Value>& excludedIDs) const {
  std::vector<fnd::Value> kept;
  for (const auto& identifier : recommendedList_->elements()) {
    const bool excluded = std::any_of(excludedIDs.begin(), excludedIDs.end(),
                                      [&](const fnd::Value& excludedID) { return excludedID.isEqual(identifier); });
    if (!excluded) kept.push_back(identifier);
  }
  return fnd::Array::make(std::move(kept));
}

bool AFXRecommendedApp::isEqual(const fnd::Object& other) const {
  const auto* app = dynamic_cast<const AFXRecommendedApp*>(&other);
  return app != nullptr && fnd::Value(app->appID_).isEqual(fnd::Value(appID_)) &&
         fnd::Value(app->recommendedList_).isEqual(fnd::Value(recommendedList_)) &&
         app->recommendationsAlgorithm_ == recommendationsAlgorithm_;
}

std::size_t AFXRecommendedApp::hash() const {
  return afx_model_detail::hashOf(fnd::Value(appID_)) ^ afx_model_detail::hashOf(fnd::Value(recommendedList_)) ^
         std::hash<std::string>{}(recommendationsAlgorithm_);
}
