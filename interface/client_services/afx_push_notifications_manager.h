#pragma once

// The desktop client's receiver of the service's push notifications: keeps
// the device token in the client's shared preferences and hands it to the
// system management service with the current customer and environment
// (again whenever the current customer changes), and carries out the
// actions a notification of the service carries: open an app, a web link,
// or a customer page. Whatever needs the rest of the client goes through
// the delegate.
//
// The token is sent from the internal queue
// "com.quorvex.push-notifications-manager.internal-queue"; notifications are
// handled on the caller's thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/queue.h"
#include "interface/web/afx_customer_urls.h"
#include "tools/qv_value_or_error.h"

inline constexpr std::string_view AFXPushNotificationsDeviceTokenKey = "APNSDeviceToken";

// One notification as the platform delivers it.
struct AFXUserNotification {
  // Sent by the service's back end, not made by this machine.
  bool isRemote = false;
  std::shared_ptr<fnd::Dictionary> userInfo;
};

class AFXPushNotificationsManager;

class AFXUserNotificationsManagerDelegate {
 public:
  using ValueCallback = std::function<void(const std::shared_ptr<QVValueOrError>& valueOrError)>;
  virtual ~AFXUserNotificationsManagerDelegate() = default;
  virtual void userNotificationsManagerDidStartHandlingNotification(AFXPushNotificationsManager&,
                                                                    const AFXUserNotification&) {}
  virtual void userNotificationsManagerDidEndHandlingNotification(AFXPushNotificationsManager&,
                                                                  const AFXUserNotification&) {}
  virtual void userNotificationsManagerNeedsLaunchApp(AFXPushNotificationsManager&,
                                                      const std::optional<std::string>& bundleID,
                                                      const std::optional<std::int64_t>& appID) = 0;
  // A value-or-error of an object conforming to AFXSystemManagementService.
  virtual void userNotificationsManagerNeedsFetchSystemManagementService(AFXPushNotificationsManager&,
                                                                        ValueCallback callback) = 0;
  // The customer page context, or the error that prevented it.
  using CustomerURLInfoCallback =
      std::function<void(const std::shared_ptr<AFXCustomerURLInfo>& info, const std::optional<fnd::Error>& error)>;
  virtual void userNotificationsManagerNeedsFetchCurrentCustomerURLInfo(AFXPushNotificationsManager&,
                                                                        CustomerURLInfoCallback callback) = 0;
};

class AFXPushNotificationsManager final : public std::enable_shared_from_this<AFXPushNotificationsManager> {
  struct Token {};

 public:
  // Subscribes to the change of the current customer at once.
  static std::shared_ptr<AFXPushNotificationsManager> initWithDelegate(
      std::weak_ptr<AFXUserNotificationsManagerDelegate> delegate);
  AFXPushNotificationsManager(Token, std::weak_ptr<AFXUserNotificationsManagerDelegate> delegate);
  ~AFXPushNotificationsManager();
  AFXPushNotificationsManager(const AFXPushNotificationsManager&) = delete;
  AFXPushNotificationsManager& operator=(const AFXPushNotificationsManager&) = delete;

  const fnd::Queue& internalQueue() const { return internalQueue_; }

  // The service delivers its notifications to the client's bus object (the
  // transport of this platform); there is nothing to register with, so this
  // only records that the client wants badge, sound and alert.
  void registerForPushNotifications();
  bool isRegisteredForPushNotifications() const { return registered_; }

  // Null unless the preferences hold data under the key.
  std::shared_ptr<fnd::Data> deviceToken() const;
  void updateDeviceToken(const std::shared_ptr<fnd::Data>& token);
  void resendDeviceToken();

  // Whether the notification was the service's and was handled.
  bool handleNotification(const AFXUserNotification& notification);
  static std::optional<std::string> analyticsIdentifierForNotification(const AFXUserNotification& notification);

 private:
  void performAction(const std::string& name, const std::shared_ptr<fnd::Dictionary>& parameters);
  void openCustomerLink(const std::string& link);

  const std::weak_ptr<AFXUserNotificationsManagerDelegate> delegate_;
  const fnd::Queue internalQueue_;
  std::optional<fnd::DistributedNotificationCenter::ObserverToken> customerObserver_;
  bool registered_ = false;
};

namespace afx_push_detail {

// Two lower-case hexadecimal digits per byte.
std::string hexadecimal(std::span<const std::uint8_t> bytes);

}  // namespace afx_push_detail
