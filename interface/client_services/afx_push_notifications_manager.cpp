#include "interface/client_services/afx_push_notifications_manager.h"

#include <mutex>

#include "foundation/check.h"
#include "foundation/group.h"
#include "foundation/number.h"
#include "foundation/url.h"
#include "foundation/user_defaults.h"
#include "foundation/workspace.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "interface/model/afx_customer.h"
#include "interface/model/afx_environment.h"
#include "interface/system_management/afx_system_management_service.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace afx_push_detail {

std::string hexadecimal(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0f];
  }
  return text;
}

}  // namespace afx_push_detail

namespace {

std::shared_ptr<fnd::UserDefaults> sharedPreferences() {
  return fnd::UserDefaults::create(AFXDesktopClientSharedPreferencesSuiteName);
}

// What the two fetches of a token sending brought; filled from their
// answer queues, read once both have answered.
struct TokenContext {
  std::mutex mutex;
  std::shared_ptr<AFXEnvironment> environment;
  std::shared_ptr<AFXCustomer> customer;
};

}  // namespace

std::shared_ptr<AFXPushNotificationsManager> AFXPushNotificationsManager::initWithDelegate(
    std::weak_ptr<AFXUserNotificationsManagerDelegate> delegate) {
  auto manager = std::make_shared<AFXPushNotificationsManager>(Token{}, std::move(delegate));
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  if (!center) {
    DDLogError("Cannot follow the current customer: %@", center.error());
    return manager;
  }
  std::weak_ptr<AFXPushNotificationsManager> weak = manager;
  auto token = (*center)->addObserverForName(std::string(AFXSystemManagementCurrentCustomerChangedNotification),
                                             std::nullopt, manager->internalQueue_,
                                             [weak](const fnd::DistributedNotification&) {
                                               if (auto self = weak.lock()) self->resendDeviceToken();
                                             });
  if (token) {
    manager->customerObserver_ = *token;
  } else {
    DDLogError("Cannot follow the current customer: %@", token.error());
  }
  return manager;
}

AFXPushNotificationsManager::AFXPushNotificationsManager(Token, std::weak_ptr<AFXUserNotificationsManagerDelegate> delegate)
    : delegate_(std::move(delegate)), internalQueue_(QVQueueBuilder::internalQueueWithName("push-notifications-manager")) {}

AFXPushNotificationsManager::~AFXPushNotificationsManager() {
  if (!customerObserver_) return;
  if (auto center = fnd::DistributedNotificationCenter::defaultCenter()) (*center)->removeObserver(*customerObserver_);
}

void AFXPushNotificationsManager::registerForPushNotifications() { registered_ = true; }

std::shared_ptr<fnd::Data> AFXPushNotificationsManager::deviceToken() const {
  auto defaults = sharedPreferences();
  return defaults ? defaults->objectForKey(AFXPushNotificationsDeviceTokenKey).as<fnd::Data>() : nullptr;
}

void AFXPushNotificationsManager::updateDeviceToken(const std::shared_ptr<fnd::Data>& token) {
  auto defaults = sharedPreferences();
  if (!defaults) return;
  if (auto stored = defaults->setObject(token ? fnd::Value(token) : fnd::Value(), AFXPushNotificationsDeviceTokenKey);
      !stored) {
    DDLogError("Cannot keep the device token: %@", stored.error());
    return;
  }
  resendDeviceToken();
}

void AFXPushNotificationsManager::resendDeviceToken() {
  const auto token = deviceToken();
  auto delegate = delegate_.lock();
  if (!token || !delegate) return;
  std::weak_ptr<AFXPushNotificationsManager> weak = weak_from_this();
  delegate->userNotificationsManagerNeedsFetchSystemManagementService(
      *this, [weak, token](const std::shared_ptr<QVValueOrError>& result) {
        auto self = weak.lock();
        auto service = result && !result->error()
                           ? std::dynamic_pointer_cast<AFXSystemManagementService>(result->value().object())
                           : nullptr;
        if (!self || !service) return;  // Without a service nothing is sent.
        auto context = std::make_shared<TokenContext>();
        const fnd::Group group;
        group.enter();
        group.enter();
        service->fetchCurrentEnvironmentUpdated(false, [context, group](const std::shared_ptr<QVValueOrError>& answer) {
          {
            std::lock_guard lock(context->mutex);
            if (answer && !answer->error()) context->environment = answer->value().as<AFXEnvironment>();
          }
          group.leave();
        });
        service->fetchCurrentCustomerUpdated(false, false, nullptr, 0,
                                             [context, group](const std::shared_ptr<QVValueOrError>& answer) {
                                               {
                                                 std::lock_guard lock(context->mutex);
                                                 if (answer && !answer->error()) context->customer = answer->value().as<AFXCustomer>();
                                               }
                                               group.leave();
                                             });
        group.notify(self->internalQueue_, [service, context, token] {
          std::lock_guard lock(context->mutex);
          std::shared_ptr<AFXEnvironmentID> environmentID;
          if (context->customer && context->customer->identifier()) {
            environmentID = context->customer->identifier()->environmentID();
          } else if (context->environment) {
            environmentID = context->environment->identifier();
          }
          service->saveAPNSDeviceToken(afx_push_detail::hexadecimal(token->bytes()), context->customer, environmentID,
                                       [](const std::optional<fnd::Error>&) {});
        });
      });
}

std::optional<std::string> AFXPushNotificationsManager::analyticsIdentifierForNotification(
    const AFXUserNotification& notification) {
  return notification.userInfo ? notification.userInfo->objectForKey("analytics-identifier").stringValue() : std::nullopt;
}

bool AFXPushNotificationsManager::handleNotification(const AFXUserNotification& notification) {
  auto delegate = delegate_.lock();
  if (delegate) delegate->userNotificationsManagerDidStartHandlingNotification(*this, notification);
  const auto identifier = notification.userInfo ? notification.userInfo->objectForKey("identifier").stringValue() : std::nullopt;
  if (!notification.isRemote || !identifier || !identifier->starts_with("com.korvia")) return false;
  if (auto actions = notification.userInfo->objectForKey("actions").as<fnd::Dictionary>()) {
    for (const auto& [name, parameters] : actions->entries()) {
      // Untrusted payload: an action without a name or parameters of the
      // wrong shape is skipped.
      if (auto text = name.stringValue()) performAction(*text, parameters.as<fnd::Dictionary>());
    }
  }
  if (delegate) delegate->userNotificationsManagerDidEndHandlingNotification(*this, notification);
  return true;
}

void AFXPushNotificationsManager::performAction(const std::string& name, const std::shared_ptr<fnd::Dictionary>& parameters) {
  if (!parameters) return;
  if (name == "open-app") {
    const auto bundleID = parameters->objectForKey("bundleID").stringValue();
    const auto appID = parameters->objectForKey("appID").integerValue();
    if (!bundleID && !appID) return;
    if (auto delegate = delegate_.lock()) delegate->userNotificationsManagerNeedsLaunchApp(*this, bundleID, appID);
  } else if (name == "open-url") {
    const auto link = parameters->objectForKey("link").stringValue();
    auto url = link ? fnd::URL::URLWithString(*link) : nullptr;
    if (url && !fnd::Workspace::sharedWorkspace().openURL(*url)) DDLogError("Cannot open %@", *link);
  } else if (name == "open-customer-url") {
    if (auto link = parameters->objectForKey("link").stringValue(); link && !link->empty()) openCustomerLink(*link);
  }
}

void AFXPushNotificationsManager::openCustomerLink(const std::string& link) {
  auto delegate = delegate_.lock();
  if (!delegate) return;
  delegate->userNotificationsManagerNeedsFetchCurrentCustomerURLInfo(
      *this, [link](const std::shared_ptr<AFXCustomerURLInfo>& info, const std::optional<fnd::Error>& error) {
        auto url = !error && info ? requestURLForURLString(link, info) : fnd::URL::URLWithString(link);
        if (url && !fnd::Workspace::sharedWorkspace().openURL(*url)) DDLogError("Cannot open %@", link);
      });
}
