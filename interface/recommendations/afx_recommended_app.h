#pragma once

// The apps recommended beside one app, and the algorithm that chose them.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/array.h"
#include "foundation/number.h"
#include "interface/model/afx_base_model_object.h"

inline constexpr std::string_view AFXRecommendationsDefaultAlgorithm = "default";

class AFXRecommendedApp final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A missing app identifier is a programming error; a null list becomes
  // empty, a null algorithm the default one.
  static std::shared_ptr<AFXRecommendedApp> initWithAppID(std::shared_ptr<fnd::Number> appID,
                                                          std::shared_ptr<fnd::Array> recommendationsList,
                                                          std::optional<std::string> recommendationsAlgorithm);

  const std::shared_ptr<fnd::Number>& appID() const { return appID_; }
  const std::shared_ptr<fnd::Array>& recommendedList() const { return recommendedList_; }
  const std::string& recommendationsAlgorithm() const { return recommendationsAlgorithm_; }
  // The list without the identifiers the collection holds, order kept.
  std::shared_ptr<fnd::Array> recommendedListExcludingIDs(const std::vector<fnd::Value>& excludedIDs) const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFXRecommendedApp() = default;
  std::shared_ptr<fnd::Number> appID_;
  std::shared_ptr<fnd::Array> recommendedList_ = fnd::Array::make();
  std::string recommendationsAlgorithm_ = std::string(AFXRecommendationsDefaultAlgorithm);
};
