#pragma once

// The progress records of installations that the apps management service
// publishes while it works: one app's installation, and a teaser's.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/url.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/model/afx_base_model_object.h"

inline constexpr std::int64_t AFXAppWorkflowStateIdle = 0;
inline constexpr std::int64_t AFXAppWorkflowStateInstalling = 1;
inline constexpr std::int64_t AFXAppWorkflowStateInstalled = 2;

class AFXAppWorkflow final : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  static std::shared_ptr<AFXAppWorkflow> initWithAppID(std::optional<std::int64_t> appID,
                                                       std::shared_ptr<fnd::URL> installURL);

  const std::optional<std::int64_t>& appID() const { return appID_; }
  std::int64_t state() const { return state_; }
  void setState(std::int64_t state) { state_ = state; }
  const std::shared_ptr<fnd::URL>& temporaryAppURL() const { return temporaryAppURL_; }
  void setTemporaryAppURL(std::shared_ptr<fnd::URL> url) { temporaryAppURL_ = std::move(url); }
  const std::shared_ptr<fnd::URL>& appURL() const { return appURL_; }
  double fractionCompleted() const { return fractionCompleted_; }
  void setFractionCompleted(double fraction) { fractionCompleted_ = fraction; }
  // "appID - app path".
  std::string objectForNotification() const;
  // The first running application of the bundle at `appURL`; null when
  // none runs.
  std::shared_ptr<AFXRunningApplication> runningApplication() const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  // By app.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXAppWorkflow() = default;
  std::optional<std::int64_t> appID_;
  std::int64_t state_ = AFXAppWorkflowStateIdle;
  std::shared_ptr<fnd::URL> temporaryAppURL_;
  std::shared_ptr<fnd::URL> appURL_;
  double fractionCompleted_ = 0;
};

class AFXTeaserWorkflow final : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // Takes the app workflow's temporary URL, state and fraction.
  static std::shared_ptr<AFXTeaserWorkflow> initWithAppInstance(std::shared_ptr<AFXTeaserAppInstance> appInstance,
                                                                std::shared_ptr<AFXAppWorkflow> appWorkflow);

  const std::shared_ptr<AFXTeaserAppInstance>& appInstance() const { return appInstance_; }
  std::int64_t state() const { return state_; }
  const std::shared_ptr<fnd::URL>& temporaryAppURL() const { return temporaryAppURL_; }
  double fractionCompleted() const { return fractionCompleted_; }
  const std::shared_ptr<AFXAppWorkflow>& appWorkflow() const { return appWorkflow_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  // By app instance.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFXTeaserWorkflow() = default;
  std::shared_ptr<AFXTeaserAppInstance> appInstance_;
  std::int64_t state_ = AFXAppWorkflowStateIdle;
  std::shared_ptr<fnd::URL> temporaryAppURL_;
  double fractionCompleted_ = 0;
  std::shared_ptr<AFXAppWorkflow> appWorkflow_;
};
