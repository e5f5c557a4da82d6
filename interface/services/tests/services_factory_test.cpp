// The services factory with a client class of the test's own: one client
// per identity however many ask at once, retries after failed creations,
// the current environment and customer followed through the bus, and the
// system-integrity handling without a desktop client.

#include "interface/services/afx_services_factory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "devtools/ipc_echo/echo_messages.h"
#include "foundation/data.h"
#include "foundation/ipc/bus.h"
#include "foundation/user_defaults.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment_id.h"
#include "interface/network/afx_network_service.h"
#include "interface/services/afx_regular_management_client.h"
#include "interface/services/afx_regular_management_server.h"
#include <unistd.h>
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using fnd::ipc::testing::Inbox;

constexpr std::string_view kEchoServiceName = "com.korvia.test.services.Echo";
constexpr std::string_view kCustomerServiceName = "com.korvia.test.services.Account";

struct Counters {
  std::atomic<int> made{0};
  std::atomic<int> failuresLeft{0};
};
Counters& counters() {
  static Counters shared;
  return shared;
}

// An environment-based client: one per environment, told of the current one.
class EchoClient final : public AFXRegularManagementClient, public AFXEnvironmentBasedService {
 public:
  static std::string_view className() { return "EchoClient"; }
  static std::string_view interprocessServiceName() { return kEchoServiceName; }
  static const fnd::Class& serviceIDClass() { return AFXEnvironmentServiceID::staticClass(); }
  static ClassSet requestClasses() { return IPCEchoRequestClasses(); }
  static std::shared_ptr<EchoClient> make(std::shared_ptr<AFXServiceID> serviceID,
                                          std::weak_ptr<AFXServicesFactory> factory,
                                          std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor) {
    ++counters().made;
    // Long enough for concurrent askers to pile up behind the first.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return std::shared_ptr<EchoClient>(new EchoClient(std::move(serviceID), std::move(factory), std::move(adaptor)));
  }
  static std::shared_ptr<AFXServiceID> makeServiceIDToPokeWithNewEnvironment(
      const std::shared_ptr<AFXEnvironment>& environment) {
    if (!environment) return nullptr;
    return AFXEnvironmentServiceID::initWithServiceName(std::string(kEchoServiceName), environment->identifier());
  }

  void updateEnvironment(const std::shared_ptr<AFXEnvironment>& environment) override {
    updates.put(environment ? environment->identifier()->description() : "(none)");
  }
  void prepareForTerminationWithCallback(std::function<void(bool)> callback) override { callback(canTerminate); }
  void didEstablishInterprocessConnectionWithEsteblishedStreamID(const std::shared_ptr<fnd::UUID>& streamID) override {
    connectionEvents.put("established " + streamID->UUIDString());
  }
  void didLooseInterprocessConnectionWithEsteblishedStreamID(const std::shared_ptr<fnd::UUID>& streamID) override {
    connectionEvents.put("lost " + streamID->UUIDString());
  }

  std::atomic<bool> canTerminate{true};
  Inbox<std::string> connectionEvents;
  std::shared_ptr<AFXEnvironmentID> environmentID() const override {
    return std::static_pointer_cast<AFXEnvironmentServiceID>(serviceID())->environmentID();
  }

  Inbox<std::string> updates;

 private:
  EchoClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> factory,
             std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
      : AFXRegularManagementClient(std::move(serviceID), std::move(factory), std::move(adaptor), requestClasses()) {}
};

// A customer-based client whose creation can be made to fail.
class AccountClient final : public AFXRegularManagementClient, public AFXCustomerBasedService {
 public:
  static std::string_view className() { return "AccountClient"; }
  static std::string_view interprocessServiceName() { return kCustomerServiceName; }
  static const fnd::Class& serviceIDClass() { return AFXCustomerServiceID::staticClass(); }
  static ClassSet requestClasses() { return IPCEchoRequestClasses(); }
  static std::shared_ptr<AccountClient> make(std::shared_ptr<AFXServiceID> serviceID,
                                             std::weak_ptr<AFXServicesFactory> factory,
                                             std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor) {
    ++counters().made;
    if (counters().failuresLeft.fetch_sub(1) > 0) return nullptr;
    return std::shared_ptr<AccountClient>(new AccountClient(std::move(serviceID), std::move(factory), std::move(adaptor)));
  }

  void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) override {
    updates.put(customer ? customer->identifier()->description() : "(none)");
  }
  std::shared_ptr<AFXCustomerID> customerID() const override {
    return std::static_pointer_cast<AFXCustomerServiceID>(serviceID())->customerID();
  }

  Inbox<std::string> updates;

 private:
  AccountClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> factory,
                std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
      : AFXRegularManagementClient(std::move(serviceID), std::move(factory), std::move(adaptor), requestClasses()) {}
};

std::shared_ptr<AFXEnvironment> environmentNamed(const std::string& name) {
  return AFXEnvironment::initWithIdentifier(
      AFXManifestURLBasedEnvironmentID::initWithManifestURL(fnd::URL::URLWithString("https://" + name + ".test/manifest")),
      nullptr);
}

class RecordingDelegate final : public AFXServicesFactoryDelegate {
 public:
  std::shared_ptr<AFXEnvironment> environment;
  std::shared_ptr<AFXCustomer> customer;
  Inbox<bool> askedForCustomer;
  void servicesFactoryFetchCurrentEnvironmentWithCallback(AFXServicesFactory&, EnvironmentCallback callback) override {
    callback(environment);
  }
  void servicesFactoryFetchCurrentCustomerWithCallback(AFXServicesFactory&, CustomerCallback callback) override {
    callback(customer);
    askedForCustomer.put(true);
  }
};

class ServicesFactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FND_REQUIRE_SESSION_BUS();
    counters().made = 0;
    counters().failuresLeft = 0;
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    sandbox_.set("KORVIA_OPEN_COMMAND", "/bin/false");
  }

  std::shared_ptr<AFXServicesFactory> makeFactory() {
    auto factory = AFXServicesFactory::initWithServicesClasses(
        {&AFXServiceClassOf<EchoClient>(), &AFXServiceClassOf<AccountClient>()}, "KorviaInstaller", delegate_);
    EXPECT_TRUE(delegate_->askedForCustomer.first());
    return factory;
  }

  template <class Service>
  std::shared_ptr<Service> fetch(AFXServicesFactory& factory, const std::shared_ptr<AFXServiceID>& serviceID) {
    Inbox<std::shared_ptr<QVValueOrError>> results;
    factory.fetchManagementServiceWithID(serviceID, [&results](const std::shared_ptr<QVValueOrError>& result) {
      results.put(result);
    });
    auto result = results.first();
    return result ? (*result)->value().template as<Service>() : nullptr;
  }

  static std::shared_ptr<AFXServiceID> echoID(const std::shared_ptr<AFXEnvironment>& environment) {
    return AFXEnvironmentServiceID::initWithServiceName(std::string(kEchoServiceName), environment->identifier());
  }

  unarchiver_test::Sandbox sandbox_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(ServicesFactoryTest, ManyAskersOfOneIdentityShareOneClient) {
  auto factory = makeFactory();
  const auto alpha = environmentNamed("alpha");
  constexpr int kAskers = 16;
  Inbox<std::shared_ptr<QVValueOrError>> results;
  std::vector<std::thread> threads;
  for (int i = 0; i < kAskers; ++i) {
    threads.emplace_back([&] {
      factory->fetchManagementServiceWithID(echoID(alpha), [&results](const std::shared_ptr<QVValueOrError>& result) {
        results.put(result);
      });
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(results.waitForCount(kAskers));
  auto first = results.items()[0]->value().as<EchoClient>();
  ASSERT_TRUE(first);
  for (const auto& result : results.items()) EXPECT_EQ(result->value().as<EchoClient>(), first);
  EXPECT_EQ(counters().made.load(), 1);

  // Another environment has a client of its own on the same adaptor.
  auto other = fetch<EchoClient>(*factory, echoID(environmentNamed("beta")));
  ASSERT_TRUE(other);
  EXPECT_NE(other, first);
  EXPECT_EQ(other->interprocessAdaptor(), first->interprocessAdaptor());
  // Requests are made for the client's identity and the factory's tier.
  auto request = first->makeRequest<IPCEchoRequest>();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->requestingTierName(), "KorviaInstaller");
  EXPECT_TRUE(request->serviceID()->isEqual(*echoID(alpha)));

  Inbox<std::vector<std::shared_ptr<AFXBaseService>>> listed;
  factory->fetchAllServicesForName(std::string(kEchoServiceName), [&](auto services) { listed.put(services); });
  factory->fetchAllServicesForName("com.korvia.test.services.Nothing", [&](auto services) { listed.put(services); });
  ASSERT_TRUE(listed.waitForCount(2));
  EXPECT_EQ(listed.items()[0].size(), 2u);
  EXPECT_TRUE(listed.items()[1].empty());
}

TEST_F(ServicesFactoryTest, AFailedCreationIsTriedAgainAndASuccessIsKeptUntilInvalidated) {
  auto factory = makeFactory();
  auto customerID = AFXCustomerID::initWithAccountName("ada@example.test", environmentNamed("alpha")->identifier());
  auto serviceID = AFXCustomerServiceID::initWithServiceName(std::string(kCustomerServiceName), customerID);
  counters().failuresLeft = 1;
  Inbox<std::shared_ptr<QVValueOrError>> failed;
  factory->fetchManagementServiceWithID(serviceID, [&](const std::shared_ptr<QVValueOrError>& r) { failed.put(r); });
  ASSERT_TRUE(failed.first());
  EXPECT_TRUE(failed.items()[0]->error());
  auto made = fetch<AccountClient>(*factory, serviceID);
  ASSERT_TRUE(made);
  EXPECT_EQ(fetch<AccountClient>(*factory, serviceID), made);
  EXPECT_EQ(counters().made.load(), 2);

  Inbox<bool> invalidated;
  factory->invalidateService(made, [&] { invalidated.put(true); });
  ASSERT_TRUE(invalidated.first());
  auto again = fetch<AccountClient>(*factory, serviceID);
  ASSERT_TRUE(again);
  EXPECT_NE(again, made);
  // Identities of other kinds never match, whatever the name.
  EXPECT_FALSE(serviceID->isEqual(*AFXGlobalServiceID::initWithServiceName(std::string(kCustomerServiceName))));
}

TEST_F(ServicesFactoryTest, TheDesktopClientsNotificationsMoveTheCurrentEnvironmentAndCustomer) {
  const auto alpha = environmentNamed("alpha");
  delegate_->environment = alpha;
  auto factory = makeFactory();
  auto client = fetch<EchoClient>(*factory, echoID(alpha));
  ASSERT_TRUE(client);
  auto customerID = AFXCustomerID::initWithAccountName("ada@example.test", alpha->identifier());
  auto account = fetch<AccountClient>(
      *factory, AFXCustomerServiceID::initWithServiceName(std::string(kCustomerServiceName), customerID));
  ASSERT_TRUE(account);

  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  ASSERT_TRUE(center);
  const auto beta = environmentNamed("beta");
  auto post = [&](std::string_view name, std::string_view key, std::vector<std::uint8_t> bytes) {
    ASSERT_TRUE((*center)->postNotificationName(
        std::string(name), std::nullopt,
        fnd::Dictionary::make({{fnd::Value(std::string(key)), fnd::Value(fnd::Data::make(std::move(bytes)))}})));
  };
  post(AFXSystemManagementCurrentEnvironmentChangedNotification,
       AFXSystemManagementCurrentEnvironmentChangedNotificationEnvironmentSecureDataKey,
       AFXEnvironmentGetSecureSerialization(*beta));
  // The alpha client, told at start that alpha is current, hears it is not
  // any more; beta's client is made for the new environment and told it is
  // its own.
  ASSERT_TRUE(client->updates.waitForCount(2));
  EXPECT_EQ(client->updates.items()[0], alpha->identifier()->description());
  EXPECT_EQ(client->updates.items()[1], "(none)");
  auto betaClient = fetch<EchoClient>(*factory, echoID(beta));
  ASSERT_TRUE(betaClient);
  auto betaUpdate = betaClient->updates.first();
  ASSERT_TRUE(betaUpdate);
  EXPECT_EQ(*betaUpdate, beta->identifier()->description());

  auto customer = AFXCustomer::initWithIdentifier(customerID, std::string("backend-1"), std::string("token"),
                                                  AFXCustomerSubscriptionStateTrial, nullptr, nullptr, nullptr, nullptr,
                                                  false);
  post(AFXSystemManagementCurrentCustomerChangedNotification,
       AFXSystemManagementCurrentCustomerChangedNotificationCustomerSecureDataKey,
       AFXCustomerGetSecureSerialization(*customer));
  auto customerUpdate = account->updates.first();
  ASSERT_TRUE(customerUpdate);
  EXPECT_EQ(*customerUpdate, customerID->description());
}

TEST_F(ServicesFactoryTest, MetricsAndAnalyticsFollowTheCurrentEnvironment) {
  auto factory = makeFactory();
  ASSERT_TRUE(factory->statsd());
  ASSERT_TRUE(factory->analyticsTracker());
  // Each change and its check in one block of the internal queue, so that
  // no announcement of another test's desktop client comes between them.
  const auto alpha = environmentNamed("alpha");
  Inbox<bool> poked;
  factory->internalQueue().sync([&] {
    factory->setCurrentEnvironment(alpha, [&] { poked.put(true); });
    // A deployment of its own: no statistics identifier, no tracking.
    EXPECT_TRUE(factory->statsd()->environmentID()->isEqual(*alpha->identifier()));
    EXPECT_FALSE(factory->analyticsTracker()->enabled());
  });
  factory->internalQueue().sync([&] {
    factory->setCurrentEnvironment(AFXEnvironment::initWithIdentifier(AFXEnvironmentID::defaultEnvironmentID(), nullptr),
                                   [&] { poked.put(true); });
    EXPECT_TRUE(factory->statsd()->environmentID()->isDefault());
    EXPECT_TRUE(factory->analyticsTracker()->enabled());
  });
  // The services of both environments are told before the test ends.
  EXPECT_TRUE(poked.waitForCount(2));
}

TEST_F(ServicesFactoryTest, IntegrityHandlingWithoutAPreparedEnvironmentAnswersNo) {
  delegate_->environment = environmentNamed("alpha");
  auto factory = makeFactory();
  Inbox<bool> answers;
  factory->handleSystemIntegrityViolationWithCallback([&](bool restored) { answers.put(restored); });
  factory->handleSystemIntegrityViolationWithCallback([&](bool restored) { answers.put(restored); });
  ASSERT_TRUE(answers.waitForCount(2));
  EXPECT_FALSE(answers.items()[0]);
  EXPECT_FALSE(answers.items()[1]);

  // Prepared, but no desktop client to ask: NO at once, and it stays so.
  auto defaults = fnd::UserDefaults::create(AFXDesktopClientSharedPreferencesSuiteName);
  ASSERT_TRUE(defaults);
  Inbox<bool> prepared;
  factory->internalQueue().async([&] {
    (void)defaults->setObject(fnd::Value(true), std::to_string(factory->currentEnvironment()->identifier()->hash()) + "-" +
                                              std::string(AFXEnvironmentWasPreparedKey));
    prepared.put(true);
  });
  ASSERT_TRUE(prepared.first());
  Inbox<bool> later;
  factory->handleSystemIntegrityViolationWithCallback([&](bool restored) { later.put(restored); });
  ASSERT_TRUE(later.first());
  EXPECT_FALSE(later.items()[0]);
}

TEST_F(ServicesFactoryTest, TerminationWaitsForEveryServiceAndAnyRefusalSaysNo) {
  auto factory = makeFactory();
  auto alpha = fetch<EchoClient>(*factory, echoID(environmentNamed("alpha")));
  auto beta = fetch<EchoClient>(*factory, echoID(environmentNamed("beta")));
  ASSERT_TRUE(alpha && beta);
  Inbox<bool> answers;
  auto ask = [&] {
    factory->regularInterprocessClientAdaptorPrepareForTerminationWithCallback(*alpha->interprocessAdaptor(),
                                                                               [&](bool can) { answers.put(can); });
  };
  ask();
  ASSERT_TRUE(answers.first());
  beta->canTerminate = false;
  ask();
  ASSERT_TRUE(answers.waitForCount(2));
  EXPECT_TRUE(answers.items()[0]);
  EXPECT_FALSE(answers.items()[1]);

  // Connection events of a service name reach that name's services only.
  auto stream = fnd::UUID::make();
  factory->didEstablishConnectionOfRegularInterprocessClientAdaptor(*alpha->interprocessAdaptor(), stream);
  factory->didLooseConnectionOfRegularInterprocessClientAdaptor(*alpha->interprocessAdaptor(), stream);
  for (EchoClient* client : {alpha.get(), beta.get()}) {
    ASSERT_TRUE(client->connectionEvents.waitForCount(2));
    EXPECT_EQ(client->connectionEvents.items(),
              (std::vector<std::string>{"established " + stream->UUIDString(), "lost " + stream->UUIDString()}));
  }
}

TEST_F(ServicesFactoryTest, AServiceNameWithoutAdaptorIsTheMissingServiceError) {
  auto factory = makeFactory();
  Inbox<std::string> errors;
  factory->fetchInterpocessAdaptorForServiceNamed("com.korvia.test.services.Nothing",
                                                  [&](const auto& adaptor, const std::optional<fnd::Error>& error) {
                                                    EXPECT_FALSE(adaptor);
                                                    errors.put(error ? error->description() : "");
                                                  });
  auto error = errors.first();
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("interprocess adaptor for com.korvia.test.services.Nothing"), std::string::npos) << *error;
}

// A published echo service and its client, each with a factory of its own,
// both in this process: the request goes over the bus to the server adaptor,
// the publishing factory finds the server for the identity, and the answer
// comes back.
std::string_view publishedName() {
  static const std::string name = "com.korvia.test.services.Published.P" + std::to_string(::getpid());
  return name;
}

class PublishedEchoServer final : public AFXRegularManagementServer, public IPCEchoService {
 public:
  static std::string_view className() { return "PublishedEchoServer"; }
  static std::string_view interprocessServiceName() { return publishedName(); }
  static const fnd::Class& serviceIDClass() { return AFXGlobalServiceID::staticClass(); }
  static ClassSet requestClasses() { return IPCEchoRequestClasses(); }
  static std::shared_ptr<PublishedEchoServer> make(std::shared_ptr<AFXServiceID> serviceID,
                                                   std::shared_ptr<AFXRegularInterprocessServerAdaptor> adaptor,
                                                   std::weak_ptr<AFXServicesFactory> factory) {
    return std::shared_ptr<PublishedEchoServer>(new PublishedEchoServer(std::move(serviceID), std::move(adaptor),
                                                                        std::move(factory)));
  }

  void echoItem(const std::shared_ptr<IPCEchoItem>& item, std::function<void(std::shared_ptr<IPCEchoItem>)> callback) override {
    callback(IPCEchoItem::make("echo of " + item->text.value_or(""), item->number));
  }
  void slowEchoItem(const std::shared_ptr<IPCEchoItem>& item, std::uint64_t, std::function<void(std::uint64_t)>,
                    std::function<void(std::shared_ptr<IPCEchoItem>)> callback) override {
    callback(item);
  }
  void hangWithCallback(std::function<void()>) override {}
  void crashUnlessMarkerExists(const std::optional<std::string>&, std::function<void()> callback) override { callback(); }

 private:
  PublishedEchoServer(std::shared_ptr<AFXServiceID> serviceID, std::shared_ptr<AFXRegularInterprocessServerAdaptor> adaptor,
                      std::weak_ptr<AFXServicesFactory> factory)
      : AFXRegularManagementServer(std::move(serviceID), std::move(adaptor), std::move(factory)) {}
  std::shared_ptr<AFXInterprocessService> interprocessService() override {
    return std::dynamic_pointer_cast<AFXInterprocessService>(shared_from_this());
  }
};

class PublishedEchoClient final : public AFXRegularManagementClient {
 public:
  static std::string_view className() { return "PublishedEchoClient"; }
  static std::string_view interprocessServiceName() { return publishedName(); }
  static const fnd::Class& serviceIDClass() { return AFXGlobalServiceID::staticClass(); }
  static ClassSet requestClasses() { return IPCEchoRequestClasses(); }
  static std::shared_ptr<PublishedEchoClient> make(std::shared_ptr<AFXServiceID> serviceID,
                                                   std::weak_ptr<AFXServicesFactory> factory,
                                                   std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor) {
    return std::shared_ptr<PublishedEchoClient>(
        new PublishedEchoClient(std::move(serviceID), std::move(factory), std::move(adaptor)));
  }

 private:
  PublishedEchoClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> factory,
                      std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor)
      : AFXRegularManagementClient(std::move(serviceID), std::move(factory), std::move(adaptor), requestClasses()) {}
};

TEST_F(ServicesFactoryTest, APublishedServiceAnswersThroughItsFactory) {
  auto publisher = AFXServicesFactory::initWithServicesClasses({&AFXServerClassOf<PublishedEchoServer>()},
                                                               "KorviaDesktopClient", delegate_);
  ASSERT_TRUE(delegate_->askedForCustomer.first());
  auto clientDelegate = std::make_shared<RecordingDelegate>();
  auto caller = AFXServicesFactory::initWithServicesClasses({&AFXServiceClassOf<PublishedEchoClient>()},
                                                            "KorviaInstaller", clientDelegate);
  auto client = fetch<PublishedEchoClient>(
      *caller, AFXGlobalServiceID::initWithServiceName(std::string(publishedName())));
  ASSERT_TRUE(client);
  auto request = client->makeRequest<IPCEchoRequest>();
  ASSERT_TRUE(request);
  request->item = IPCEchoItem::make("Chronofold", 246);
  Inbox<std::shared_ptr<QVValueOrError>> answers;
  client->performRequest(request, nullptr, [&](const std::shared_ptr<QVValueOrError>& answer) { answers.put(answer); });
  auto answer = answers.first(std::chrono::seconds(20));
  ASSERT_TRUE(answer);
  ASSERT_FALSE((*answer)->error()) << (*answer)->error()->description();
  auto response = (*answer)->value().as<IPCEchoResponse>();
  ASSERT_TRUE(response && response->item);
  EXPECT_EQ(response->item->text, "echo of Chronofold");
  EXPECT_EQ(response->item->number, 246);
}

}  // namespace
