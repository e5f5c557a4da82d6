#include "interface/analytics/afx_analytics_tracker.h"

#include <algorithm>
#include <cctype>

#include "foundation/array.h"
#include "foundation/check.h"
#include "foundation/null.h"
#include "foundation/url.h"
#include "foundation/uuid.h"
#include "interface/analytics/afx_analytics_identification.h"
#include "interface/analytics/afx_data_hub.h"
#include "logging/dd_log_macros.h"

namespace afx_analytics_detail {

std::string escapedApplicationName(std::string_view name) {
  std::string escaped = fnd::URL::percentEncode(name, "!#$&'()*+,/:;=?@[]");
  for (std::size_t at = escaped.find('&'); at != std::string::npos; at = escaped.find('&', at)) {
    escaped.replace(at, 1, "%26");
  }
  return escaped;
}

}  // namespace afx_analytics_detail

namespace {

bool hasKey(const fnd::Dictionary& fields, std::string_view key) { return !fields.objectForKey(key).isNil(); }

}  // namespace

std::shared_ptr<AFXAnalyticsTracker> AFXAnalyticsTracker::trackerWithApplicationName(
    std::string applicationName, std::string applicationIdentifier,
    std::shared_ptr<AFXMonitorsCoordinator> monitorsCoordinator) {
  auto identification = AFXAnalyticsIdentification::initWithApplicationName(applicationName);
  Parts parts;
  parts.dataHub = AFXDataHub::initWithIdentification(identification, AFXDataHubConfiguration::defaultConfiguration());
  parts.monitorsCoordinator = std::move(monitorsCoordinator);
  return initWithApplicationName(std::move(applicationName), std::move(applicationIdentifier), std::move(parts));
}

std::shared_ptr<AFXAnalyticsTracker> AFXAnalyticsTracker::initWithApplicationName(std::string applicationName,
                                                                                  std::string applicationIdentifier,
                                                                                  Parts parts) {
  FND_PARAMETER_ASSERT(parts.dataHub != nullptr);
  if (!parts.userDefaults) parts.userDefaults = fnd::UserDefaults::standardUserDefaults();
  if (!parts.mainBundle) parts.mainBundle = fnd::Bundle::mainBundle();
  auto tracker = std::make_shared<AFXAnalyticsTracker>(Token{}, std::move(applicationName),
                                                       std::move(applicationIdentifier), std::move(parts));
  if (tracker->monitorsCoordinator_) tracker->monitorsCoordinator_->addObserver(tracker->weak_from_this());
  return tracker;
}

AFXAnalyticsTracker::AFXAnalyticsTracker(Token, std::string applicationName, std::string applicationIdentifier,
                                         Parts parts)
    : applicationName_(afx_analytics_detail::escapedApplicationName(applicationName)),
      applicationIdentifier_(std::move(applicationIdentifier)),
      dataHub_(std::move(parts.dataHub)),
      userDefaults_(std::move(parts.userDefaults)),
      mainBundle_(std::move(parts.mainBundle)),
      monitorsCoordinator_(std::move(parts.monitorsCoordinator)),
      internalQueue_(fnd::Queue::serial("com.quorvex.analytics-tracker.internal-queue", fnd::QualityOfService::utility)) {
  registerDefaults();
  enabled_.store(userDefaults_->boolForKey(AFXAnalyticsSendProfileInfoKey) &&
                 userDefaults_->boolForKey(AFXAnalyticsRemoteUsageTrackingKey));
}

void AFXAnalyticsTracker::registerDefaults() {
  userDefaults_->registerDefaults(*fnd::Dictionary::make({
      {fnd::Value(AFXAnalyticsSendProfileInfoKey), fnd::Value(true)},
      {fnd::Value(AFXAnalyticsRemoteUsageTrackingKey), fnd::Value(true)},
  }));
  // A tracker for another application reads that application's settings.
  if (mainBundle_->bundleIdentifier() != applicationIdentifier_) userDefaults_->addSuiteNamed(applicationIdentifier_);
}

bool AFXAnalyticsTracker::isBeta() const {
  std::call_once(betaOnce_, [this] {
    std::string version = mainBundle_->bundleVersion();
    std::transform(version.begin(), version.end(), version.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    isBeta_ = version.find('b') != std::string::npos;
  });
  return isBeta_;
}

std::shared_ptr<fnd::Date> AFXAnalyticsTracker::launchDate() const {
  std::lock_guard lock(launchMutex_);
  return launchDate_;
}

void AFXAnalyticsTracker::applicationDidFinishLaunching() {
  std::lock_guard lock(launchMutex_);
  launchDate_ = fnd::Date::now();
}

// Tracking

void AFXAnalyticsTracker::trackEventWithParameters(Fields fields) {
  internalQueue_.async([self = shared_from_this(), fields = std::move(fields)] {
    self->send(self->preparedFields(fields, AFXAnalyticsHitTypeEvent, true));
  });
}

void AFXAnalyticsTracker::trackTimingWithParameters(Fields fields) {
  internalQueue_.async([self = shared_from_this(), fields = std::move(fields)] {
    self->send(self->preparedFields(fields, AFXAnalyticsHitTypeTiming, false));
  });
}

void AFXAnalyticsTracker::trackView(std::optional<std::string> name) {
  internalQueue_.async([self = shared_from_this(), name = std::move(name)] { self->trackViewNow(name); });
}

void AFXAnalyticsTracker::trackViewNow(const std::optional<std::string>& name) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  currentScreen_ = name;
  send(fnd::Dictionary::make({
      {fnd::Value(AFXAnalyticsHitTypeKey), fnd::Value(AFXAnalyticsHitTypeAppView)},
      {fnd::Value(AFXAnalyticsContentDescriptionKey), fnd::Value(name.value_or(""))},
  }));
}

void AFXAnalyticsTracker::trackModalView(std::string name) {
  internalQueue_.async([self = shared_from_this(), name = std::move(name)] {
    auto& stack = self->modalScreens_;
    if (std::find(stack.begin(), stack.end(), name) != stack.end()) return;
    stack.push_back(name);
    self->send(fnd::Dictionary::make({
        {fnd::Value(AFXAnalyticsHitTypeKey), fnd::Value(AFXAnalyticsHitTypeAppView)},
        {fnd::Value(AFXAnalyticsContentDescriptionKey), fnd::Value(name)},
    }));
  });
}

void AFXAnalyticsTracker::switchToModalView(std::string name) {
  internalQueue_.async([self = shared_from_this(), name = std::move(name)] {
    auto& stack = self->modalScreens_;
    if (stack.empty()) {
      stack.push_back(name);
    } else {
      stack.back() = name;
    }
  });
}

void AFXAnalyticsTracker::stopTrackingModalView() {
  internalQueue_.async([self = shared_from_this()] {
    auto& stack = self->modalScreens_;
    if (stack.empty()) return;
    stack.pop_back();
    if (stack.empty()) self->trackViewNow(self->currentScreen_);
  });
}

AFXAnalyticsTracker::Fields AFXAnalyticsTracker::preparedFields(const Fields& fields, std::string_view hitType,
                                                                bool withContentDescription) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  std::vector<fnd::Dictionary::Entry> entries;
  if (fields) entries = fields->entries();
  entries.emplace_back(fnd::Value(AFXAnalyticsHitTypeKey), fnd::Value(hitType));
  auto prepared = fnd::Dictionary::make(std::move(entries));
  if (withContentDescription && !hasKey(*prepared, AFXAnalyticsContentDescriptionKey)) {
    const std::optional<std::string> screen = !modalScreens_.empty() ? std::optional(modalScreens_.back()) : currentScreen_;
    if (screen) prepared = prepared->dictionaryBySettingObject(fnd::Value(*screen), fnd::Value(AFXAnalyticsContentDescriptionKey));
  }
  if (!hasKey(*prepared, AFXAnalyticsUserIdentifierKey)) {
    prepared = prepared->dictionaryBySettingObject(fnd::Value(sessionIdentifierNow()), fnd::Value(AFXAnalyticsUserIdentifierKey));
  }
  std::vector<fnd::Dictionary::Entry> kept;
  for (const auto& entry : prepared->entries()) {
    if (!entry.second.isKindOfClass(fnd::Null::staticClass())) kept.push_back(entry);
  }
  return fnd::Dictionary::make(std::move(kept));
}

void AFXAnalyticsTracker::send(const Fields& fields) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (!enabled()) return;
  dataHub_->setAppVersion(applicationVersionNow());
  dataHub_->setAppName(applicationName_);
  dataHub_->trackEventWithParameters(fields);
}

// Deferred events

void AFXAnalyticsTracker::deferEventWithParameters(Fields fields) {
  internalQueue_.async([self = shared_from_this(), fields = std::move(fields)] {
    if (!fields) return;
    std::vector<fnd::Value> queued;
    if (auto stored = self->userDefaults_->arrayForKey(AFXAnalyticsTrackerDeferredQueueKey)) queued = stored->elements();
    queued.emplace_back(fields);
    if (auto stored = self->userDefaults_->setObject(fnd::Value(fnd::Array::make(std::move(queued))),
                                                     AFXAnalyticsTrackerDeferredQueueKey);
        !stored) {
      DDLogError("Cannot keep a deferred analytics event: %@", stored.error());
    }
  });
}

void AFXAnalyticsTracker::sendDeferredEvents() {
  internalQueue_.async([self = shared_from_this()] {
    if (auto stored = self->userDefaults_->arrayForKey(AFXAnalyticsTrackerDeferredQueueKey)) {
      for (const auto& event : *stored) {
        // Anything but a dictionary was not stored by this tracker.
        if (auto fields = event.as<fnd::Dictionary>()) self->send(self->preparedFields(fields, AFXAnalyticsHitTypeEvent, true));
      }
    }
    self->cancelDeferredEvents();
  });
}

void AFXAnalyticsTracker::cancelDeferredEvents() {
  if (auto removed = userDefaults_->removeObjectForKey(AFXAnalyticsTrackerDeferredQueueKey); !removed) {
    DDLogError("Cannot drop the deferred analytics events: %@", removed.error());
  }
}

// State read by callers

std::optional<std::string> AFXAnalyticsTracker::currentScreen() const {
  return internalQueue_.sync([this] { return currentScreen_; });
}

std::vector<std::string> AFXAnalyticsTracker::modalScreens() const {
  return internalQueue_.sync([this] { return std::vector<std::string>(modalScreens_.rbegin(), modalScreens_.rend()); });
}

std::string AFXAnalyticsTracker::sessionIdentifier() {
  return internalQueue_.sync([this] { return sessionIdentifierNow(); });
}

std::string AFXAnalyticsTracker::sessionIdentifierNow() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (auto stored = userDefaults_->stringForKey(AFXAnalyticsSessionIdentifierKey); stored && !stored->empty()) return *stored;
  std::string made = fnd::UUID::make()->UUIDString();
  if (auto kept = userDefaults_->setObject(fnd::Value(made), AFXAnalyticsSessionIdentifierKey); !kept) {
    DDLogError("Cannot keep the analytics session identifier: %@", kept.error());
  }
  return made;
}

std::string AFXAnalyticsTracker::applicationVersionNow() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (!applicationVersion_) applicationVersion_ = afx_analytics_detail::applicationVersionOfBundle(mainBundle_);
  return *applicationVersion_;
}

// Health issues

void AFXAnalyticsTracker::monitorsCoordinatorActiveIssuesDidChange(const std::optional<AFXHealthIssues>& oldIssues,
                                                                   const std::optional<AFXHealthIssues>& newIssues) {
  if (!oldIssues || !newIssues || *oldIssues == *newIssues) return;
  for (const auto& issue : *newIssues) {
    if (std::find(oldIssues->begin(), oldIssues->end(), issue) != oldIssues->end()) continue;
    if (!issue.analyticsIdentifier) continue;
    trackEventWithParameters(fnd::Dictionary::make({
        {fnd::Value(AFXAnalyticsEventCategoryKey), fnd::Value("Dashboard")},
        {fnd::Value(AFXAnalyticsEventActionKey), fnd::Value("First Launch Health")},
        {fnd::Value(AFXAnalyticsEventLabelKey), fnd::Value(*issue.analyticsIdentifier)},
        {fnd::Value(AFXAnalyticsEventValueKey), fnd::Value(1)},
    }));
  }
}

void AFXAnalyticsTracker::monitorsCoordinatorHumanReadableValuesDidChange() {
  internalQueue_.async([self = shared_from_this()] { self->applicationVersion_.reset(); });
}
