#include "interface/client_services/afx_apps_refresh_synchronizer.h"

#include "foundation/check.h"
#include "foundation/dictionary.h"
#include "foundation/string.h"
#include "interface/errors/afx_network_response.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace {

constexpr std::string_view kSessionKeyPrefix = "ActiveRefreshSession_";
constexpr std::string_view kLastRefreshDateKey = "LastAppsRefreshDate";
constexpr std::string_view kForbiddenAutomaticRefreshKey = "ForbiddenAutomaticAppsRefresh";

const std::shared_ptr<fnd::UserDefaults>& preferences() { return AFXDesktopClientSharedUserDefaults(); }

void reportWriteFailure(const fnd::Expected<void>& written, std::string_view key) {
  if (!written) DDLogError("Cannot store %@ in the shared preferences: %@", std::string(key), written.error());
}

}  // namespace

std::shared_ptr<AFXAppsRefreshSynchronizer> AFXAppsRefreshSynchronizer::initWithEnvironmentID(
    std::shared_ptr<AFXEnvironmentID> environmentID) {
  FND_PARAMETER_ASSERT(environmentID != nullptr);
  auto synchronizer = std::make_shared<AFXAppsRefreshSynchronizer>(Token{}, std::move(environmentID));
  synchronizer->internalQueue_.sync([&] {
    synchronizer->refreshSessions();
    synchronizer->refreshLastRefreshDate();
    synchronizer->refreshAllowedAutomaticRefresh();
  });
  synchronizer->subscribe();
  return synchronizer;
}

AFXAppsRefreshSynchronizer::AFXAppsRefreshSynchronizer(Token, std::shared_ptr<AFXEnvironmentID> environmentID)
    : environmentID_(std::move(environmentID)),
      // One text for every process: the identifier's hash is stable across
      // processes and runs.
      environmentPrefix_(std::to_string(environmentID_->hash()) + "-"),
      internalQueue_(QVQueueBuilder::internalQueueWithName("apps-refresh-synchronizer")) {}

AFXAppsRefreshSynchronizer::~AFXAppsRefreshSynchronizer() {
  if (auto center = fnd::DistributedNotificationCenter::defaultCenter()) {
    for (auto token : tokens_) (*center)->removeObserver(token);
  }
}

std::string AFXAppsRefreshSynchronizer::sessionKeyPrefixForReason(AFXAppsRefreshReason reason) {
  const std::string prefix(kSessionKeyPrefix);
  switch (reason) {
    case AFXAppsRefreshReasonInternal:
      return prefix + "-reason_internal";
    case AFXAppsRefreshReasonScheduled:
      return prefix + "-reason_scheduled";
    case AFXAppsRefreshReasonByUser:
      return prefix + "-reason_by_user";
    default:
      return prefix;
  }
}

// An entry is the environment's when its key starts with the environment's
// hash and "-": a hash that merely appears inside another key (say, a longer
// hash) must not count.
std::string AFXAppsRefreshSynchronizer::environmentKey(std::string_view key) const { return environmentPrefix_ + std::string(key); }

bool AFXAppsRefreshSynchronizer::ownsKey(const std::string& key) const { return key.starts_with(environmentPrefix_); }

// Reading the cached values

std::shared_ptr<fnd::Date> AFXAppsRefreshSynchronizer::lastRefreshDate() const {
  return read([this] { return lastRefreshDate_; });
}

bool AFXAppsRefreshSynchronizer::appsRefreshInProgress() const {
  return read([this] { return appsRefreshInProgress_; });
}

bool AFXAppsRefreshSynchronizer::userInitiatedAppsRefreshInProgress() const {
  return read([this] { return userInitiatedAppsRefreshInProgress_; });
}

bool AFXAppsRefreshSynchronizer::allowedAutomaticRefresh() const {
  return read([this] { return allowedAutomaticRefresh_; });
}

void AFXAppsRefreshSynchronizer::addObserver(PropertyObserver observer) {
  internalQueue_.async([self = shared_from_this(), observer = std::move(observer)]() mutable {
    self->observers_.push_back(std::move(observer));
  });
}

void AFXAppsRefreshSynchronizer::tell(std::string_view propertyName) {
  for (const auto& observer : observers_) observer(propertyName);
}

// Changing the shared state

void AFXAppsRefreshSynchronizer::willStartAppsRefreshWithID(std::string_view sessionID, AFXAppsRefreshReason reason) {
  const std::string key = environmentKey(sessionKeyPrefixForReason(reason) + std::string(sessionID));
  reportWriteFailure(preferences()->setObject(fnd::Value(fnd::Date::now()), key), key);
  post(AFXAppsRefreshWillStartNotification, std::string(sessionID));
}

void AFXAppsRefreshSynchronizer::didEndAppsRefreshWithID(std::string_view sessionID, AFXAppsRefreshReason reason,
                                                         bool updateRefreshDate) {
  const std::string key = environmentKey(sessionKeyPrefixForReason(reason) + std::string(sessionID));
  reportWriteFailure(preferences()->removeObjectForKey(key), key);
  if (updateRefreshDate) updateLastRefreshDate();
  post(AFXAppsRefreshDidEndNotification, std::string(sessionID));
}

void AFXAppsRefreshSynchronizer::updateLastRefreshDate() {
  const std::string key = environmentKey(kLastRefreshDateKey);
  reportWriteFailure(preferences()->setObject(fnd::Value(fnd::Date::now()), key), key);
  post(AFXLastRefreshDateDidChangeNotification, std::nullopt);
}

void AFXAppsRefreshSynchronizer::setAllowedAutomaticRefresh(bool allowed) {
  const std::string key = environmentKey(kForbiddenAutomaticRefreshKey);
  reportWriteFailure(allowed ? preferences()->removeObjectForKey(key) : preferences()->setBool(true, key), key);
  post(AFXAutomaticAppsRefreshDidChangeNotification, std::nullopt);
}

void AFXAppsRefreshSynchronizer::clearAllActiveRefreshSessions() {
  auto stored = preferences()->dictionaryRepresentation();
  for (const auto& [key, value] : stored->entries()) {
    const std::string text = key.stringValue().value_or("");
    if (ownsKey(text) && text.find(kSessionKeyPrefix) != std::string::npos) {
      reportWriteFailure(preferences()->removeObjectForKey(text), text);
    }
  }
}

std::map<std::string, std::shared_ptr<fnd::Date>> AFXAppsRefreshSynchronizer::activeRefreshSessionsWithReason(
    AFXAppsRefreshReason reason) const {
  (void)preferences()->synchronize();
  const std::string prefix = sessionKeyPrefixForReason(reason);
  const auto limit = fnd::Date::now()->timeIntervalSinceReferenceDate() - AFXAppsRefreshSessionLifetime;
  std::map<std::string, std::shared_ptr<fnd::Date>> live;
  std::vector<std::string> stale;
  const auto stored = preferences()->dictionaryRepresentation();
  for (const auto& [key, value] : stored->entries()) {
    const std::string text = key.stringValue().value_or("");
    if (!ownsKey(text) || text.find(prefix) == std::string::npos) continue;
    auto started = value.as<fnd::Date>();
    if (started && started->timeIntervalSinceReferenceDate() > limit) {
      live.emplace(text, started);
    } else {
      stale.push_back(text);
    }
  }
  if (!stale.empty()) {
    fnd::Queue::global(fnd::QualityOfService::utility).async([stale = std::move(stale)] {
      for (const auto& key : stale) reportWriteFailure(preferences()->removeObjectForKey(key), key);
    });
  }
  return live;
}

// Following the announcements

void AFXAppsRefreshSynchronizer::post(std::string_view name, const std::optional<std::string>& sessionID) const {
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  if (!center) {
    DDLogError("Cannot announce %@: %@", std::string(name), center.error());
    return;
  }
  std::shared_ptr<fnd::Dictionary> userInfo;
  if (sessionID) userInfo = fnd::Dictionary::make({{fnd::Value(AFXAppsRefreshProcessIDKey), fnd::Value(*sessionID)}});
  if (auto posted = (*center)->postNotificationName(std::string(name), environmentID_->userDefaultsValue(), userInfo); !posted) {
    DDLogError("Cannot announce %@: %@", std::string(name), posted.error());
  }
}

void AFXAppsRefreshSynchronizer::subscribe() {
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  if (!center) {
    DDLogError("Cannot follow other processes' refreshes: %@", center.error());
    return;
  }
  std::weak_ptr<AFXAppsRefreshSynchronizer> weak = weak_from_this();
  auto observe = [&](std::string_view name, void (AFXAppsRefreshSynchronizer::*refresh)()) {
    auto token = (*center)->addObserverForName(std::string(name), environmentID_->userDefaultsValue(), internalQueue_,
                                               [weak, refresh](const fnd::DistributedNotification&) {
                                                 if (auto self = weak.lock()) ((*self).*refresh)();
                                               });
    if (token) {
      tokens_.push_back(*token);
    } else {
      DDLogError("Cannot observe %@: %@", std::string(name), token.error());
    }
  };
  observe(AFXAppsRefreshWillStartNotification, &AFXAppsRefreshSynchronizer::refreshSessions);
  observe(AFXAppsRefreshDidEndNotification, &AFXAppsRefreshSynchronizer::refreshSessions);
  observe(AFXLastRefreshDateDidChangeNotification, &AFXAppsRefreshSynchronizer::refreshLastRefreshDate);
  observe(AFXAutomaticAppsRefreshDidChangeNotification, &AFXAppsRefreshSynchronizer::refreshAllowedAutomaticRefresh);
}

void AFXAppsRefreshSynchronizer::refreshSessions() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  const bool any = !activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny).empty();
  const bool byUser = !activeRefreshSessionsWithReason(AFXAppsRefreshReasonByUser).empty();
  if (any != appsRefreshInProgress_) {
    appsRefreshInProgress_ = any;
    tell("appsRefreshInProgress");
  }
  if (byUser != userInitiatedAppsRefreshInProgress_) {
    userInitiatedAppsRefreshInProgress_ = byUser;
    tell("userInitiatedAppsRefreshInProgress");
  }
}

std::shared_ptr<fnd::Date> AFXAppsRefreshSynchronizer::storedLastRefreshDate() const {
  (void)preferences()->synchronize();
  return preferences()->objectForKey(environmentKey(kLastRefreshDateKey)).as<fnd::Date>();
}

void AFXAppsRefreshSynchronizer::refreshLastRefreshDate() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  auto date = storedLastRefreshDate();
  const bool changed = (date == nullptr) != (lastRefreshDate_ == nullptr) ||
                       (date && !date->isEqual(*lastRefreshDate_));
  lastRefreshDate_ = date;
  if (changed) tell("lastRefreshDate");
}

void AFXAppsRefreshSynchronizer::refreshAllowedAutomaticRefresh() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  (void)preferences()->synchronize();
  const bool allowed = !preferences()->boolForKey(environmentKey(kForbiddenAutomaticRefreshKey));
  if (allowed == allowedAutomaticRefresh_) return;
  allowedAutomaticRefresh_ = allowed;
  tell("allowedAutomaticRefresh");
}
