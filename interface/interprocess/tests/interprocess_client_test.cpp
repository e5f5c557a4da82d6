// Client and server adaptors in one process, over the session bus.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/ipc/tests/ipc_test_support.h"
#include "interface/errors/afx_errors.h"
#include "interface/interprocess/afx_regular_interprocess_client_adaptor.h"
#include "interface/interprocess/afx_regular_interprocess_server_adaptor.h"
#include "interface/interprocess/tests/interprocess_test_messages.h"

namespace {

using fnd::ipc::testing::Inbox;

class Service final : public TestCountingService {
 public:
  std::optional<fnd::Error> failure;
  void countTo(std::uint64_t count, std::function<void(double)> progress,
               std::function<void(std::shared_ptr<QVValueOrError>)> callback) override {
    for (std::uint64_t i = 1; i <= count; ++i) progress(static_cast<double>(i));
    callback(failure ? QVValueOrError::initWithError(*failure) : QVValueOrError::initWithValue(fnd::Value(count)));
  }
  void isReady(bool updated, std::function<void(bool)> callback) override { callback(updated); }
};

class ServerDelegate final : public AFXRegularInterprocessServerAdaptorDelegate {
 public:
  std::shared_ptr<Service> service = std::make_shared<Service>();
  std::atomic<int> withReports{0};
  Inbox<std::string> established;
  Inbox<std::string> lost;

  void regularInterprocessServerAdaptorPerformRequest(AFXRegularInterprocessServerAdaptor&,
                                                      const std::shared_ptr<AFXInterprocessRequest>& request,
                                                      AFXInterprocessRequest::ReportHandler reportHandler,
                                                      AFXInterprocessRequest::ResponseHandler responseHandler) override {
    if (reportHandler) ++withReports;
    if (!AFXInterprocessRequest::reportClassOf(request->objectClass())) reportHandler = nullptr;
    request->performOnService(service, std::move(reportHandler), std::move(responseHandler));
  }
  void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                const std::shared_ptr<fnd::UUID>& id) override {
    established.put(id->UUIDString());
  }
  void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                            const std::shared_ptr<fnd::UUID>& id) override {
    lost.put(id->UUIDString());
  }
};

const AFXInterprocessRequest::ClassSet kClasses = {&TestCountRequest::staticClass(), &TestReadyRequest::staticClass()};

std::string uniqueName() {
  static std::atomic<int> counter{0};
  return "com.korvia.test.interprocess.P" + std::to_string(::getpid()) + "N" + std::to_string(++counter);
}

template <class Request>
std::shared_ptr<Request> addressed(std::shared_ptr<Request> request, const std::string& name) {
  request->setRequestingTierName(std::string("KorviaInstaller"));
  request->setServiceID(AFXGlobalServiceID::initWithServiceName(name));
  return request;
}

class InterprocessAdaptorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FND_REQUIRE_SESSION_BUS();
    name = uniqueName();
    auto made = AFXRegularInterprocessServerAdaptor::initWithServiceName(name, kClasses, serverDelegate);
    ASSERT_TRUE(made) << made.error().description();
    server = *made;
  }

  std::string name;
  std::shared_ptr<ServerDelegate> serverDelegate = std::make_shared<ServerDelegate>();
  std::shared_ptr<AFXRegularInterprocessServerAdaptor> server;
};

TEST_F(InterprocessAdaptorsTest, ReportsAndResponseReachTheCaller) {
  auto client = AFXRegularInterprocessClientAdaptor::initWithServiceName(name, "KorviaInstaller", kClasses, {});
  auto reports = std::make_shared<Inbox<double>>();
  auto answer = std::make_shared<Inbox<std::shared_ptr<QVValueOrError>>>();
  client->performRequest(
      addressed(TestCountRequest::make(50), name),
      [reports](const std::shared_ptr<AFXInterprocessReport>& report) {
        reports->put(std::dynamic_pointer_cast<TestCountReport>(report)->fractionCompleted);
      },
      [answer](const std::shared_ptr<QVValueOrError>& result) { answer->put(result); });
  auto result = answer->first();
  ASSERT_TRUE(result);
  ASSERT_TRUE((*result)->value().as<TestCountResponse>()) << (*result)->description();
  EXPECT_EQ((*result)->value().as<TestCountResponse>()->total, 50u);
  auto seen = reports->items();
  ASSERT_EQ(seen.size(), 50u);
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], static_cast<double>(i + 1));
  EXPECT_EQ(serverDelegate->withReports, 1);
  EXPECT_EQ(server->reportStreamCount(), 1u);
}

// A caller that is slow with its reports still hears the response last: a
// progress shown after "done" would undo it.
TEST_F(InterprocessAdaptorsTest, TheResponseComesAfterEveryReportOfItsRequest) {
  auto client = AFXRegularInterprocessClientAdaptor::initWithServiceName(name, "KorviaInstaller", kClasses, {});
  auto handled = std::make_shared<std::atomic<int>>(0);
  auto handledAtResponse = std::make_shared<Inbox<int>>();
  client->performRequest(
      addressed(TestCountRequest::make(50), name),
      [handled](const std::shared_ptr<AFXInterprocessReport>&) {
        if (handled->load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ++*handled;
      },
      [handled, handledAtResponse](const std::shared_ptr<QVValueOrError>&) { handledAtResponse->put(handled->load()); });
  EXPECT_EQ(handledAtResponse->first(), 50);
}

TEST_F(InterprocessAdaptorsTest, ServiceErrorsArriveUnchanged) {
  serverDelegate->service->failure =
      fnd::Error(AFXDefaultErrorDomain, AFXErrorCodeMissingObject, {{fnd::Value("kind"), fnd::Value("app")}});
  auto client = AFXRegularInterprocessClientAdaptor::initWithServiceName(name, "KorviaInstaller", kClasses, {});
  auto answer = std::make_shared<Inbox<std::shared_ptr<QVValueOrError>>>();
  client->performRequest(addressed(TestCountRequest::make(1), name), nullptr,
                         [answer](const std::shared_ptr<QVValueOrError>& result) { answer->put(result); });
  auto result = answer->first();
  ASSERT_TRUE(result && (*result)->error());
  EXPECT_EQ(*(*result)->error(), *serverDelegate->service->failure);
}

TEST_F(InterprocessAdaptorsTest, AnUnknownStreamWithASessionIsError401051) {
  auto request = addressed(TestCountRequest::make(2), name);
  request->setReportStreamID(fnd::UUID::make());
  request->setReportSessionID(fnd::UUID::make());
  auto answer = std::make_shared<Inbox<std::shared_ptr<QVValueOrError>>>();
  server->performInterprocessRequest(request, [answer](const auto& result) { answer->put(result); });
  auto result = answer->first();
  ASSERT_TRUE(result && (*result)->error());
  EXPECT_TRUE((*result)->error()->is(AFXDefaultErrorDomain, -401051));
  EXPECT_FALSE((*result)->error()->userInfo() && !(*result)->error()->userInfo()->entries().empty());

  // Without a session the stream is not even looked up.
  request->setReportSessionID(nullptr);
  auto performed = std::make_shared<Inbox<std::shared_ptr<QVValueOrError>>>();
  server->performInterprocessRequest(request, [performed](const auto& value) { performed->put(value); });
  auto plain = performed->first();
  ASSERT_TRUE(plain && (*plain)->value().as<TestCountResponse>());
  EXPECT_EQ(serverDelegate->withReports, 0);
}

TEST_F(InterprocessAdaptorsTest, WithoutADelegateTheServiceIsMissing) {
  serverDelegate.reset();
  auto answer = std::make_shared<Inbox<std::shared_ptr<QVValueOrError>>>();
  server->performInterprocessRequest(addressed(TestReadyRequest::make(), name),
                                     [answer](const auto& result) { answer->put(result); });
  auto result = answer->first();
  ASSERT_TRUE(result && (*result)->error());
  EXPECT_TRUE((*result)->error()->is(AFXDefaultErrorDomain, AFXErrorCodeMissingService));
}

TEST_F(InterprocessAdaptorsTest, TerminationIsAgreedWithConnectedClients) {
  auto ready = std::make_shared<Inbox<bool>>();
  server->prepareForTerminationWithCallback([ready](bool answer) { ready->put(answer); });
  EXPECT_EQ(ready->first(), true);  // nobody connected

  class Refusing final : public AFXRegularInterprocessClientAdaptorDelegate {
   public:
    void regularInterprocessClientAdaptorHandleSystemIntegrityViolationWithCallback(
        AFXRegularInterprocessClientAdaptor&, std::function<void(bool)> callback) override {
      callback(false);
    }
    void didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                                  const std::shared_ptr<fnd::UUID>&) override {}
    void didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                              const std::shared_ptr<fnd::UUID>&) override {}
    void regularInterprocessClientAdaptorPrepareForTerminationWithCallback(AFXRegularInterprocessClientAdaptor&,
                                                                           std::function<void(bool)> callback) override {
      callback(false);
    }
  };
  auto refusing = std::make_shared<Refusing>();
  auto client = AFXRegularInterprocessClientAdaptor::initWithServiceName(name, "KorviaInstaller", kClasses, refusing);
  auto answer = std::make_shared<Inbox<std::shared_ptr<QVValueOrError>>>();
  client->performRequest(addressed(TestReadyRequest::make(), name), nullptr,
                         [answer](const auto& result) { answer->put(result); });
  ASSERT_TRUE(answer->first());
  auto refused = std::make_shared<Inbox<bool>>();
  server->prepareForTerminationWithCallback([refused](bool value) { refused->put(value); });
  EXPECT_EQ(refused->first(), false);
}

TEST_F(InterprocessAdaptorsTest, RequestsNeedATierNameAndAnIdentity) {
  auto client = AFXRegularInterprocessClientAdaptor::initWithServiceName(name, "KorviaInstaller", kClasses, {});
  EXPECT_DEATH(client->performRequest(TestReadyRequest::make(), nullptr, [](const auto&) {}),
               "Invalid parameter not satisfying: request.requestingTierName");
  auto request = TestReadyRequest::make();
  request->setRequestingTierName(std::string("KorviaInstaller"));
  EXPECT_DEATH(client->performRequest(request, nullptr, [](const auto&) {}),
               "Invalid parameter not satisfying: request.serviceID");
}

}  // namespace
