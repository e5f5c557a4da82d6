#pragma once

// How the service's push notifications reach the desktop client on this
// platform: a bus service of the client ("com.korvia.DesktopClient.PushNotifications")
// with two operations, the device token the service issued and a
// notification with its user information. The listener hands both to the
// client's push notifications manager; the sender side is for the tools that
// stand in for the service's back end.

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/expected.h"
#include "foundation/ipc/interface.h"
#include "foundation/ipc/listener.h"
#include "interface/client_services/afx_push_notifications_manager.h"

inline constexpr std::string_view AFXPushNotificationsServiceName = "com.korvia.DesktopClient.PushNotifications";

// "UpdateDeviceToken" (data; answered once taken) and "DeliverNotification"
// (user information, remote flag → whether it was handled). User information admits property-list values only.
std::shared_ptr<const fnd::ipc::Interface> AFXPushNotificationsDeliveryInterface();

class AFXPushNotificationsListener final : public fnd::ipc::ListenerDelegate,
                                           public std::enable_shared_from_this<AFXPushNotificationsListener> {
  struct Token {};

 public:
  // Takes the service name; fails when it is owned already or there is no bus.
  [[nodiscard]] static fnd::Expected<std::shared_ptr<AFXPushNotificationsListener>> listen(
      std::shared_ptr<AFXPushNotificationsManager> manager);
  AFXPushNotificationsListener(Token, std::shared_ptr<AFXPushNotificationsManager> manager);
  ~AFXPushNotificationsListener() override;

  bool listenerShouldAcceptNewConnection(fnd::ipc::Listener& listener,
                                         const std::shared_ptr<fnd::ipc::Connection>& connection) override;

 private:
  class Receiver;

  const std::shared_ptr<AFXPushNotificationsManager> manager_;
  std::shared_ptr<Receiver> receiver_;
  std::shared_ptr<fnd::ipc::Listener> listener_;
};

// The sender side. Each answers once, with the error of the bus when the
// client could not be reached.
void AFXSendPushDeviceToken(const std::shared_ptr<fnd::Data>& token,
                            std::function<void(const std::optional<fnd::Error>& error)> completion);
void AFXDeliverPushNotification(const std::shared_ptr<fnd::Dictionary>& userInfo, bool remote,
                                std::function<void(fnd::Expected<bool> handled)> completion);
