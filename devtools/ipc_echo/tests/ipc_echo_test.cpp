// The client side in this process, the echo service in another: real
// connections, report streams, activation and crashes on a private bus.

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <filesystem>
#include <thread>

#include "devtools/ipc_echo/echo_messages.h"
#include "devtools/ipc_echo/tests/private_bus.h"
#include "foundation/clock.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/listener.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/process.h"
#include "interface/errors/afx_errors.h"
#include "interface/interprocess/afx_regular_interprocess_client_adaptor.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"

namespace {

using fnd::ipc::testing::Inbox;
using ipc_echo_testing::PrivateBus;

class RecordingAdaptorDelegate : public AFXRegularInterprocessClientAdaptorDelegate {
 public:
  Inbox<std::string> established;
  Inbox<std::string> lost;

  void regularInterprocessClientAdaptorHandleSystemIntegrityViolationWithCallback(
      AFXRegularInterprocessClientAdaptor&, std::function<void(bool)> callback) override {
    callback(false);
  }
  void didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                                const std::shared_ptr<fnd::UUID>& streamID) override {
    established.put(streamID->UUIDString());
  }
  void didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor&,
                                                            const std::shared_ptr<fnd::UUID>& streamID) override {
    lost.put(streamID->UUIDString());
  }
  void regularInterprocessClientAdaptorPrepareForTerminationWithCallback(AFXRegularInterprocessClientAdaptor&,
                                                                         std::function<void(bool)> callback) override {
    callback(true);
  }
};

struct Outcome {
  std::shared_ptr<IPCEchoResponse> response;
  std::optional<fnd::Error> error;
};

class IpcEchoTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_BUS(); }

  void TearDown() override {
    adaptor.reset();
    for (const auto& name : started) PrivateBus::shared().stopOwnerOf(name);
    for (auto& process : processes) process->kill();
  }

  // A server started by hand, as a child of the test.
  std::string startServer(const char* what, bool stallStreams = false) {
    const std::string name = ipc_echo_testing::uniqueServiceName(what);
    fnd::ProcessLaunchOptions options;
    options.executablePath = KORVIA_IPC_ECHO_TOOL;
    options.arguments = {"serve", name};
    if (stallStreams) options.arguments.push_back("--stall-streams");
    auto process = fnd::Process::launch(options);
    EXPECT_TRUE(process);
    if (process) processes.push_back(*process);
    EXPECT_TRUE(ipc_echo_testing::waitForOwner(name));
    started.push_back(name);
    return name;
  }

  // A server the bus starts on demand.
  std::string activatableServer(const char* what) {
    const std::string name = ipc_echo_testing::uniqueServiceName(what);
    EXPECT_TRUE(PrivateBus::shared().installEchoService(name));
    started.push_back(name);
    return name;
  }

  void makeAdaptor(const std::string& name, AFXInterprocessRequest::ClassSet classes = IPCEchoRequestClasses()) {
    adaptor = AFXRegularInterprocessClientAdaptor::initWithServiceName(name, "KorviaInstaller", std::move(classes),
                                                                      delegate);
    serviceName = name;
  }

  template <class Request>
  std::shared_ptr<Request> addressed(std::shared_ptr<Request> request) {
    request->setRequestingTierName(std::string("KorviaInstaller"));
    request->setServiceID(AFXGlobalServiceID::initWithServiceName(serviceName));
    return request;
  }

  std::shared_ptr<Inbox<Outcome>> send(const std::shared_ptr<AFXInterprocessRequest>& request,
                                       AFXInterprocessRequest::ReportHandler reports = nullptr) {
    auto inbox = std::make_shared<Inbox<Outcome>>();
    adaptor->performRequest(request, std::move(reports), [inbox](const std::shared_ptr<QVValueOrError>& result) {
      inbox->put({result->value().as<IPCEchoResponse>(), result->error()});
    });
    return inbox;
  }

  std::shared_ptr<RecordingAdaptorDelegate> delegate = std::make_shared<RecordingAdaptorDelegate>();
  std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor;
  std::string serviceName;
  std::vector<std::string> started;
  std::vector<std::shared_ptr<fnd::Process>> processes;
};

TEST_F(IpcEchoTest, ModelObjectsTravelBothWays) {
  makeAdaptor(startServer("roundtrip"));
  auto item = IPCEchoItem::make("Chronofold", 246);
  item->tags = fnd::Array::make({fnd::Value("vendor"), fnd::Value("featured")});
  auto request = addressed(IPCEchoRequest::make(item));
  auto outcome = send(request)->first();
  ASSERT_TRUE(outcome);
  ASSERT_TRUE(outcome->response) << (outcome->error ? outcome->error->description() : "");
  EXPECT_TRUE(fnd::Value(outcome->response->item).isEqual(fnd::Value(item)));
  EXPECT_EQ(outcome->response->serverProcessID, processes.front()->processIdentifier());
  // The request went out with the stream of the connection, and no session.
  ASSERT_TRUE(request->reportStreamID());
  EXPECT_FALSE(request->reportSessionID());
  auto established = delegate->established.first();
  ASSERT_TRUE(established);
  EXPECT_EQ(*established, request->reportStreamID()->UUIDString());
}

TEST_F(IpcEchoTest, TwoRequestsShareOneConnectionAttemptAndStream) {
  makeAdaptor(startServer("shared"));
  auto first = addressed(IPCEchoRequest::make(IPCEchoItem::make("one", 1)));
  auto second = addressed(IPCEchoRequest::make(IPCEchoItem::make("two", 2)));
  auto a = send(first);
  auto b = send(second);
  ASSERT_TRUE(a->first() && a->first()->response);
  ASSERT_TRUE(b->first() && b->first()->response);
  EXPECT_TRUE(first->reportStreamID()->isEqual(*second->reportStreamID()));
  EXPECT_FALSE(delegate->established.waitForCount(2, std::chrono::milliseconds(50)));
}

TEST_F(IpcEchoTest, ReportsArriveInOrderAtTheirOwnSession) {
  makeAdaptor(startServer("reports"));
  struct Seen {
    std::uint64_t index;
    std::string text;
  };
  auto slow = std::make_shared<Inbox<Seen>>();
  auto slower = std::make_shared<Inbox<Seen>>();
  auto recorder = [](std::shared_ptr<Inbox<Seen>> inbox) {
    return [inbox](const std::shared_ptr<AFXInterprocessReport>& report) {
      auto echo = std::dynamic_pointer_cast<IPCSlowEchoReport>(report);
      ASSERT_TRUE(echo);
      inbox->put({echo->index, echo->text.value_or("")});
    };
  };
  constexpr std::uint64_t kSlow = 300;
  constexpr std::uint64_t kSlower = 500;
  auto a = send(addressed(IPCSlowEchoRequest::make(IPCEchoItem::make("slow", 1), kSlow)), recorder(slow));
  auto b = send(addressed(IPCSlowEchoRequest::make(IPCEchoItem::make("slower", 2), kSlower)), recorder(slower));
  ASSERT_TRUE(a->first() && a->first()->response);
  ASSERT_TRUE(b->first() && b->first()->response);
  // Every report was routed before its response.
  ASSERT_EQ(slow->size(), kSlow);
  ASSERT_EQ(slower->size(), kSlower);
  auto check = [](const std::vector<Seen>& seen, const std::string& text) {
    for (std::size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].index, i);
      EXPECT_EQ(seen[i].text, text);
    }
  };
  check(slow->items(), "slow");
  check(slower->items(), "slower");
}

TEST_F(IpcEchoTest, AClassOutsideTheWhitelistIsRejectedAndTheServerServesOn) {
  // This client believes the service takes the unlisted request too.
  auto classes = IPCEchoRequestClasses();
  classes.push_back(&IPCUnlistedRequest::staticClass());
  makeAdaptor(startServer("whitelist"), classes);
  auto rejected = send(addressed(IPCUnlistedRequest::make()))->first();
  ASSERT_TRUE(rejected && rejected->error);
  EXPECT_TRUE(fnd::ipc::isDecodingError(*rejected->error)) << rejected->error->description();
  auto served = send(addressed(IPCEchoRequest::make(IPCEchoItem::make("still here", 3))))->first();
  ASSERT_TRUE(served && served->response);
  EXPECT_EQ(served->response->item->text, "still here");
  EXPECT_TRUE(processes.front()->isRunning());
}

TEST_F(IpcEchoTest, GarbageArgumentBytesGetTheDecodingError) {
  const std::string name = startServer("garbage");
  auto connection = sdbus::createSessionBusConnection();
  auto raw = sdbus::createProxy(*connection, name, fnd::ipc::Listener::objectPathForServiceName(name));
  for (const std::vector<std::uint8_t>& bytes : {std::vector<std::uint8_t>{0x00, 0xff, 0x13},
                                                 std::vector<std::uint8_t>{'b', 'p', 'l', 'i', 's', 't', '0', '0'}}) {
    auto call = raw->createMethodCall(AFXRegularServiceInterfaceBusName, "performInterprocessRequest");
    call << bytes;
    try {
      (void)raw->callMethod(call);
      ADD_FAILURE() << "garbage was answered";
    } catch (const sdbus::Error& error) {
      EXPECT_EQ(error.getName(), fnd::ipc::kBusErrorDecoding);
    }
  }
  makeAdaptor(name);
  auto served = send(addressed(IPCEchoRequest::make(IPCEchoItem::make("after garbage", 4))))->first();
  ASSERT_TRUE(served && served->response);
}

TEST_F(IpcEchoTest, AServerKilledMidCallIsStartedAgainAndTheRequestResentOnce) {
  makeAdaptor(activatableServer("phoenix"));
  const std::string marker = PrivateBus::shared().root + "/" + serviceName + ".crashed";
  auto outcome = send(addressed(IPCCrashRequest::make(marker)))->first(std::chrono::seconds(30));
  ASSERT_TRUE(outcome);
  ASSERT_TRUE(outcome->response) << (outcome->error ? outcome->error->description() : "");
  EXPECT_EQ(outcome->response->item->text, "survived");
  EXPECT_TRUE(std::filesystem::exists(marker));
  // The loss was told once, with the first stream; the new connection has a
  // stream of its own.
  ASSERT_TRUE(delegate->established.waitForCount(2));
  ASSERT_TRUE(delegate->lost.first());
  EXPECT_EQ(delegate->lost.size(), 1u);
  EXPECT_EQ(delegate->lost.items()[0], delegate->established.items()[0]);
  EXPECT_NE(delegate->established.items()[0], delegate->established.items()[1]);
}

TEST_F(IpcEchoTest, AServerKilledTwiceGivesTheInterruptionError) {
  makeAdaptor(activatableServer("doomed"));
  auto outcome = send(addressed(IPCCrashRequest::make(std::nullopt)))->first(std::chrono::seconds(30));
  ASSERT_TRUE(outcome && outcome->error);
  EXPECT_TRUE(outcome->error->is(fnd::NSCocoaErrorDomain, fnd::ipc::NSXPCConnectionInterrupted))
      << outcome->error->description();
  EXPECT_TRUE(delegate->lost.waitForCount(2));
}

// The stream's establishment that never answers, on the manual clock: 20 s,
// the retry 5 s later on the main queue, 20 s again, then the error.
TEST_F(IpcEchoTest, AReportStreamNotEstablishedIn20SecondsFailsTheRequest) {
  const std::string name = startServer("stall", true);
  auto logger = std::make_shared<RecordingLogger>();
  DDLog::addLogger(logger);
  fnd::ManualClock clock;
  fnd::ScopedClockOverride overrideClock(clock);
  makeAdaptor(name);
  auto outcome = send(addressed(IPCEchoRequest::make(IPCEchoItem::make("never", 0))));
  auto waitForTimer = [&clock] {
    for (int i = 0; i < 2000 && clock.pendingTaskCount() == 0; ++i) {
      fnd::MainLoop::runUntilIdle();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return clock.pendingTaskCount() > 0;
  };
  ASSERT_TRUE(waitForTimer());
  clock.advance(std::chrono::seconds(19));
  EXPECT_FALSE(outcome->waitForCount(1, std::chrono::milliseconds(50)));
  clock.advance(std::chrono::seconds(1));
  ASSERT_TRUE(waitForTimer());  // the retry, 5 s on the main queue
  clock.advance(std::chrono::seconds(5));
  ASSERT_TRUE(waitForTimer());  // the second establishment's time-out
  EXPECT_FALSE(outcome->waitForCount(1, std::chrono::milliseconds(50)));
  clock.advance(std::chrono::seconds(20));
  auto failed = outcome->first();
  ASSERT_TRUE(failed && failed->error);
  EXPECT_TRUE(failed->error->is(AFXDefaultErrorDomain, AFXErrorCodeSystemIntegrityViolated))
      << failed->error->description();
  DDLog::flushLog();
  std::size_t timeouts = 0;
  for (const auto& text : logger->texts()) timeouts += text == "Did fail to establish reporting stream with timeout";
  EXPECT_EQ(timeouts, 2u);
  DDLog::removeLogger(logger);
}

}  // namespace
