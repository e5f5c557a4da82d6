#include "interface/client_services/afx_push_notifications_delivery.h"

#include <atomic>

#include "foundation/array.h"
#include "foundation/ipc/connection.h"
#include "foundation/ipc/exported_object.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "logging/dd_log_macros.h"

namespace {

constexpr std::string_view kUpdateToken = "UpdateDeviceToken";
constexpr std::string_view kDeliver = "DeliverNotification";

fnd::ipc::Interface::ClassList propertyListClasses() {
  return {&fnd::Dictionary::staticClass(), &fnd::Array::staticClass(), &fnd::String::staticClass(),
          &fnd::Number::staticClass(), &fnd::Data::staticClass()};
}

// One call to the client: a connection made for it and dropped after its
// answer; `fail` runs instead of the answer when the bus gives up.
template <class OnReply>
void callClient(std::string_view method, std::vector<fnd::Value> arguments, OnReply onReply,
                std::function<void(const fnd::Error&)> fail) {
  auto connection = fnd::ipc::Connection::createWithServiceName(std::string(AFXPushNotificationsServiceName));
  if (!connection) {
    fail(connection.error());
    return;
  }
  (*connection)->setRemoteObjectInterface(AFXPushNotificationsDeliveryInterface());
  (*connection)->resume();
  auto answered = std::make_shared<std::atomic<bool>>(false);
  auto kept = *connection;
  auto proxy = (*connection)->remoteObjectProxyWithErrorHandler([answered, fail, kept](const fnd::Error& error) {
    if (!answered->exchange(true)) fail(error);
    kept->invalidate();
  });
  proxy.invoke(std::string(method), std::move(arguments), [answered, onReply, kept](std::vector<fnd::Value> reply) {
    if (!answered->exchange(true)) onReply(reply);
    kept->invalidate();
  });
}

}  // namespace

std::shared_ptr<const fnd::ipc::Interface> AFXPushNotificationsDeliveryInterface() {
  static const std::shared_ptr<const fnd::ipc::Interface> interface = [] {
    auto made = fnd::ipc::Interface::create("com.korvia.PushNotificationsInterface");
    made->addMethod(std::string(kUpdateToken), 1, 0);
    made->addMethod(std::string(kDeliver), 2, 1);
    made->setClasses({&fnd::Data::staticClass()}, kUpdateToken, 0, false);
    made->setClasses(propertyListClasses(), kDeliver, 0, false);
    made->setClasses({&fnd::Number::staticClass()}, kDeliver, 1, false);
    made->setClasses({&fnd::Number::staticClass()}, kDeliver, 0, true);
    return std::shared_ptr<const fnd::ipc::Interface>(made);
  }();
  return interface;
}

class AFXPushNotificationsListener::Receiver final : public fnd::ipc::ExportedObject {
 public:
  explicit Receiver(std::shared_ptr<AFXPushNotificationsManager> manager) : manager_(std::move(manager)) {}

  void invokeMethod(const std::shared_ptr<fnd::ipc::Connection>&, const std::string& method,
                    std::vector<fnd::Value> arguments, Reply reply) override {
    if (method == kUpdateToken) {
      if (auto token = arguments.at(0).as<fnd::Data>()) manager_->updateDeviceToken(token);
      if (reply) reply({});
      return;
    }
    if (method == kDeliver) {
      AFXUserNotification notification{arguments.at(1).boolValue().value_or(false), arguments.at(0).as<fnd::Dictionary>()};
      const bool handled = notification.userInfo && manager_->handleNotification(notification);
      if (reply) reply({fnd::Value(handled)});
    }
  }

 private:
  const std::shared_ptr<AFXPushNotificationsManager> manager_;
};

fnd::Expected<std::shared_ptr<AFXPushNotificationsListener>> AFXPushNotificationsListener::listen(
    std::shared_ptr<AFXPushNotificationsManager> manager) {
  auto listener = std::make_shared<AFXPushNotificationsListener>(Token{}, std::move(manager));
  auto made = fnd::ipc::Listener::createWithServiceName(std::string(AFXPushNotificationsServiceName),
                                                        AFXPushNotificationsDeliveryInterface());
  if (!made) return made.error();
  listener->listener_ = *made;
  listener->listener_->setDelegate(listener);
  if (auto resumed = listener->listener_->resume(); !resumed) return resumed.error();
  return listener;
}

AFXPushNotificationsListener::AFXPushNotificationsListener(Token, std::shared_ptr<AFXPushNotificationsManager> manager)
    : manager_(std::move(manager)), receiver_(std::make_shared<Receiver>(manager_)) {}

AFXPushNotificationsListener::~AFXPushNotificationsListener() {
  if (listener_) listener_->invalidate();
}

bool AFXPushNotificationsListener::listenerShouldAcceptNewConnection(fnd::ipc::Listener&,
                                                                     const std::shared_ptr<fnd::ipc::Connection>& connection) {
  connection->setExportedInterface(AFXPushNotificationsDeliveryInterface());
  connection->setExportedObject(receiver_);
  connection->resume();
  return true;
}

void AFXSendPushDeviceToken(const std::shared_ptr<fnd::Data>& token,
                            std::function<void(const std::optional<fnd::Error>& error)> completion) {
  callClient(
      kUpdateToken, {fnd::Value(token)}, [completion](const std::vector<fnd::Value>&) { completion(std::nullopt); },
      [completion](const fnd::Error& error) { completion(error); });
}

void AFXDeliverPushNotification(const std::shared_ptr<fnd::Dictionary>& userInfo, bool remote,
                                std::function<void(fnd::Expected<bool> handled)> completion) {
  callClient(
      kDeliver, {fnd::Value(userInfo), fnd::Value(remote)},
      [completion](const std::vector<fnd::Value>& reply) {
        completion(!reply.empty() && reply[0].boolValue().value_or(false));
      },
      [completion](const fnd::Error& error) { completion(error); });
}
