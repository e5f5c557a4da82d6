// Interprocess costs against the bare bus in the same run:
// - a request/response round trip of a small model object through the
//   client and server adaptors, against a bare sdbus-c++ method call that
//   carries the same archived bytes both ways;
// - reports per second on one report stream, against bare one-way messages
//   of a report's size.
// As in the product, the two sides are two processes: the servers (the
// adaptor's and the bare one) run in a child forked before any thread
// starts, the clients here.
// Needs a session bus (run under dbus-run-session).

#include <benchmark/benchmark.h>
#include <sdbus-c++/sdbus-c++.h>
#include <signal.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "devtools/ipc_echo/echo_messages.h"
#include "foundation/ipc/bus.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "interface/interprocess/afx_regular_interprocess_client_adaptor.h"
#include "interface/interprocess/afx_regular_interprocess_server_adaptor.h"

namespace {

class Waiter {
 public:
  void signal() {
    std::lock_guard lock(mutex_);
    ++count_;
    condition_.notify_all();
  }
  void waitFor(std::uint64_t count) {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  std::uint64_t count_ = 0;
};

class Service final : public IPCEchoService {
 public:
  void echoItem(const std::shared_ptr<IPCEchoItem>& item, std::function<void(std::shared_ptr<IPCEchoItem>)> callback) override {
    callback(item);
  }
  void slowEchoItem(const std::shared_ptr<IPCEchoItem>& item, std::uint64_t count, std::function<void(std::uint64_t)> report,
                    std::function<void(std::shared_ptr<IPCEchoItem>)> callback) override {
    for (std::uint64_t i = 0; i < count; ++i) report(i);
    callback(item);
  }
  void hangWithCallback(std::function<void()>) override {}
  void crashUnlessMarkerExists(const std::optional<std::string>&, std::function<void()> callback) override { callback(); }
};

class Server final : public AFXRegularInterprocessServerAdaptorDelegate {
 public:
  std::shared_ptr<Service> service = std::make_shared<Service>();
  void regularInterprocessServerAdaptorPerformRequest(AFXRegularInterprocessServerAdaptor&,
                                                      const std::shared_ptr<AFXInterprocessRequest>& request,
                                                      AFXInterprocessRequest::ReportHandler reportHandler,
                                                      AFXInterprocessRequest::ResponseHandler responseHandler) override {
    if (!AFXInterprocessRequest::reportClassOf(request->objectClass())) reportHandler = nullptr;
    request->performOnService(service, std::move(reportHandler), std::move(responseHandler));
  }
  void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                const std::shared_ptr<fnd::UUID>&) override {}
  void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                            const std::shared_ptr<fnd::UUID>&) override {}
};

// Named by the parent before it forks, so both processes use its name.
std::string gServiceName;
const std::string& serviceName() { return gServiceName; }

// The child: both servers, until the parent goes.
[[noreturn]] void serve(int readyPipe) {
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  auto server = std::make_shared<Server>();
  auto adaptor = AFXRegularInterprocessServerAdaptor::initWithServiceName(serviceName(), IPCEchoRequestClasses(), server);
  if (!adaptor) std::abort();
  auto connection = sdbus::createSessionBusConnection(serviceName() + ".bare");
  auto object = sdbus::createObject(*connection, "/bare");
  object->registerMethod("com.korvia.bench.Bare", "echo", "ay", "ay", [](sdbus::MethodCall call) {
    std::vector<std::uint8_t> bytes;
    call >> bytes;
    auto reply = call.createReply();
    reply << bytes;
    reply.send();
  });
  // The reports' peer: one-way messages with a report's bytes, read and
  // dropped; an echo after them answers once they are all read.
  object->registerMethod("com.korvia.bench.Bare", "report", "ay", "", [](sdbus::MethodCall call) {
    std::vector<std::uint8_t> bytes;
    call >> bytes;
  });
  object->finishRegistration();
  char ready = 1;
  if (::write(readyPipe, &ready, 1) != 1) std::abort();
  connection->enterEventLoop();
  std::_Exit(0);
}

struct Fixture {
  std::shared_ptr<AFXRegularInterprocessClientAdaptor> client;
  std::unique_ptr<sdbus::IConnection> bareClientConnection;
  std::unique_ptr<sdbus::IProxy> bareProxy;

  static Fixture& shared() {
    static Fixture* fixture = new Fixture;
    return *fixture;
  }

  Fixture() {
    client = AFXRegularInterprocessClientAdaptor::initWithServiceName(serviceName(), "KorviaBench", IPCEchoRequestClasses(), {});
    bareClientConnection = sdbus::createSessionBusConnection();
    bareProxy = sdbus::createProxy(*bareClientConnection, serviceName() + ".bare", "/bare");
    // A loop of its own that leaving wakes (see below); the fixture lives
    // until the process ends.
    std::thread([connection = bareClientConnection.get()] {
      for (;;) connection->enterEventLoop();
    }).detach();
  }

  // Thousands of one-way messages from this thread fill the socket; sd-bus
  // queues the rest for the loop, which sleeps polling for input only and
  // must be sent round again to write them.
  void wakeBareLoopForQueuedWrites() {
    if (bareClientConnection->getEventLoopPollData().events & POLLOUT) bareClientConnection->leaveEventLoop();
  }

  std::shared_ptr<AFXInterprocessRequest> addressed(std::shared_ptr<AFXInterprocessRequest> request) const {
    request->setRequestingTierName(std::string("KorviaBench"));
    request->setServiceID(AFXGlobalServiceID::initWithServiceName(serviceName()));
    return request;
  }

  // Returns once the bare server has read everything sent before.
  void bareEcho(const std::vector<std::uint8_t>& bytes) {
    Waiter waiter;
    auto call = bareProxy->createMethodCall("com.korvia.bench.Bare", "echo");
    call << bytes;
    (void)bareProxy->callMethod(call, [&waiter](sdbus::MethodReply& reply, const sdbus::Error* error) {
      if (error) std::abort();
      std::vector<std::uint8_t> echoed;
      reply >> echoed;
      waiter.signal();
    }, std::numeric_limits<std::uint64_t>::max());
    wakeBareLoopForQueuedWrites();
    waiter.waitFor(1);
  }
};

std::shared_ptr<IPCEchoItem> smallItem() {
  auto item = IPCEchoItem::make("Chronofold", 246);
  item->tags = fnd::Array::make({fnd::Value("vendor"), fnd::Value("featured")});
  return item;
}

void BM_AdaptorRoundTrip(benchmark::State& state) {
  if (!fnd::ipc::Bus::isSessionBusConfigured()) return state.SkipWithError("no session bus");
  Fixture& fixture = Fixture::shared();
  auto item = smallItem();
  for (auto _ : state) {
    Waiter waiter;
    fixture.client->performRequest(fixture.addressed(IPCEchoRequest::make(item)), nullptr,
                                   [&waiter](const std::shared_ptr<QVValueOrError>& result) {
                                     if (!result->value()) std::abort();
                                     waiter.signal();
                                   });
    waiter.waitFor(1);
  }
}
BENCHMARK(BM_AdaptorRoundTrip)->UseRealTime()->MinTime(2.0);

// The same request bytes out and the same response bytes back, bare.
void BM_BareRoundTripSameBytes(benchmark::State& state) {
  if (!fnd::ipc::Bus::isSessionBusConfigured()) return state.SkipWithError("no session bus");
  Fixture& fixture = Fixture::shared();
  auto request = fixture.addressed(IPCEchoRequest::make(smallItem()));
  request->setReportStreamID(fnd::UUID::make());
  auto requestBytes = *fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(request));
  state.counters["bytes"] = static_cast<double>(requestBytes.size());
  for (auto _ : state) fixture.bareEcho(requestBytes);
}
BENCHMARK(BM_BareRoundTripSameBytes)->UseRealTime()->MinTime(2.0);

void BM_ReportsOnOneStream(benchmark::State& state) {
  if (!fnd::ipc::Bus::isSessionBusConfigured()) return state.SkipWithError("no session bus");
  Fixture& fixture = Fixture::shared();
  const auto count = static_cast<std::uint64_t>(state.range(0));
  for (auto _ : state) {
    std::atomic<std::uint64_t> seen{0};
    Waiter waiter;
    fixture.client->performRequest(fixture.addressed(IPCSlowEchoRequest::make(smallItem(), count)),
                                   [&seen](const std::shared_ptr<AFXInterprocessReport>&) { ++seen; },
                                   [&waiter](const std::shared_ptr<QVValueOrError>&) { waiter.signal(); });
    waiter.waitFor(1);
    if (seen != count) std::abort();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}
// The warm-up's first request also opens the report stream and grows the
// worker pools, which every later request finds in place.
BENCHMARK(BM_ReportsOnOneStream)->Arg(20000)->UseRealTime()->MinWarmUpTime(1.0)->MinTime(2.0)->Unit(benchmark::kMillisecond);

// The same number of one-way messages of a report's size from one sender to
// one receiver, bare: the bus's own ceiling for the figure above.
void BM_BareOneWaySameBytes(benchmark::State& state) {
  if (!fnd::ipc::Bus::isSessionBusConfigured()) return state.SkipWithError("no session bus");
  Fixture& fixture = Fixture::shared();
  const auto count = static_cast<std::uint64_t>(state.range(0));
  auto report = IPCSlowEchoReport::make();
  report->index = 7;
  report->fractionCompleted = 0.35;
  report->text = std::string("Chronofold");
  auto session = fnd::UUID::make();
  auto reportBytes = *fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(report));
  auto sessionBytes = *fnd::KeyedArchiver::archivedDataWithRootObject(
      fnd::Value(fnd::Array::make({fnd::Value(session)})));
  reportBytes.insert(reportBytes.end(), sessionBytes.begin(), sessionBytes.end());
  state.counters["bytes"] = static_cast<double>(reportBytes.size());
  for (auto _ : state) {
    for (std::uint64_t i = 0; i < count; ++i) {
      auto call = fixture.bareProxy->createMethodCall("com.korvia.bench.Bare", "report");
      call << reportBytes;
      call.dontExpectReply();
      (void)fixture.bareProxy->callMethod(call);
      fixture.wakeBareLoopForQueuedWrites();
    }
    fixture.bareEcho({});
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}
BENCHMARK(BM_BareOneWaySameBytes)->Arg(20000)->UseRealTime()->MinWarmUpTime(1.0)->MinTime(2.0)->Unit(benchmark::kMillisecond);

// What one report costs each end before the bus: its two arguments archived,
// then decoded against the classes the stream allows.
void BM_ReportArchivingBothEnds(benchmark::State& state) {
  auto report = IPCSlowEchoReport::make();
  report->index = 7;
  report->fractionCompleted = 0.35;
  report->text = std::string("Chronofold");
  auto sessions = fnd::Value(fnd::Array::make({fnd::Value(fnd::UUID::make())}));
  const fnd::KeyedUnarchiver::ClassList reportClasses{&IPCSlowEchoReport::staticClass()};
  const fnd::KeyedUnarchiver::ClassList sessionClasses{&fnd::Array::staticClass(), &fnd::UUID::staticClass()};
  for (auto _ : state) {
    auto reportBytes = *fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(report));
    auto sessionBytes = *fnd::KeyedArchiver::archivedDataWithRootObject(sessions);
    auto decodedReport = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(reportClasses, reportBytes);
    auto decodedSessions = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(sessionClasses, sessionBytes);
    if (!decodedReport || !decodedSessions) std::abort();
    benchmark::DoNotOptimize(decodedReport);
  }
}
BENCHMARK(BM_ReportArchivingBothEnds);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gServiceName = "com.korvia.bench.ipc.P" + std::to_string(::getpid());
  pid_t child = -1;
  if (fnd::ipc::Bus::isSessionBusConfigured()) {
    int ready[2];
    if (::pipe(ready) != 0) return 1;
    child = ::fork();
    if (child == 0) serve(ready[1]);
    char byte = 0;
    if (child < 0 || ::read(ready[0], &byte, 1) != 1) return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (child > 0) {
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
  }
  return 0;
}
