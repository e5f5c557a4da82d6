#include "interface/network/afx_network_service.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "devtools/distribution_server/distribution_server.h"
#include "devtools/distribution_server/test_certificates.h"
#include "foundation/clock.h"
#include "foundation/url_error.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/tests/in_process_notifier.h"

namespace {

namespace dist = korvia::distribution;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kResourceSize = 96 * 1024;
constexpr int kResourceCount = 8;

std::string resourcePath(int index) { return "/resources/" + std::to_string(index) + ".bin"; }

// Preferences, downloads and trust anchors of the test's own, chosen before
// anything reads them; holders made from now on broadcast in this process.
class NetworkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "network-service-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    fs::create_directories(folder / "config");
    fs::create_directories(folder / "downloads");
    fs::create_directories(folder / "root/resources");
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    ::setenv("TMPDIR", (folder / "downloads").c_str(), 1);
    ASSERT_TRUE(dist::makeTestCertificates(folder / "tls").hasValue());
    ::setenv("KORVIA_CA_FILE", (folder / "tls/ca.pem").c_str(), 1);
    std::mt19937 random(246);
    for (int index = 0; index < kResourceCount; ++index) {
      std::string bytes(kResourceSize, '\0');
      for (auto& byte : bytes) byte = static_cast<char>(random());
      std::ofstream(folder / ("root" + resourcePath(index)), std::ios::binary) << bytes;
      contents.push_back(bytes);
    }
    notifier = std::make_shared<InProcessNotifier>();
    AFXDistributedNotifier::setDefaultNotifier(notifier);
  }
  void TearDown() override {
    AFXDistributedNotifier::setDefaultNotifier(nullptr);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  fs::path folder;
  std::vector<std::string> contents;
  std::shared_ptr<InProcessNotifier> notifier;
};

NetworkEnvironment* const gEnvironment =
    static_cast<NetworkEnvironment*>(::testing::AddGlobalTestEnvironment(new NetworkEnvironment));

// Stands in for the services factory: answers look-ups from a table and
// keeps the timings it is given.
class RecordingFactory final : public AFXNetworkServiceFactory, public AFXMetricsSink {
 public:
  struct Fetch {
    std::string what;
    bool forceUpdate = false;
  };

  void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>&, Callback callback) override {
    record({"environment", false});
    callback(QVValueOrError::initWithValue(fnd::Value(std::string("environment record"))));
  }
  void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>&, bool forceUpdate, Callback callback) override {
    record({"customer", forceUpdate});
    callback(QVValueOrError::initWithValue(fnd::Value(std::string("customer record"))));
  }
  std::shared_ptr<AFXMetricsSink> statsdClient() const override { return sink.lock(); }
  void metricsNamedRecordTiming(std::string_view name, double seconds) override {
    std::lock_guard lock(mutex_);
    timings_.emplace_back(std::string(name), seconds);
  }

  std::vector<std::pair<std::string, double>> timings() const {
    std::lock_guard lock(mutex_);
    return timings_;
  }
  std::vector<Fetch> fetches() const {
    std::lock_guard lock(mutex_);
    return fetches_;
  }

  std::weak_ptr<AFXMetricsSink> sink;

 private:
  void record(Fetch fetch) {
    std::lock_guard lock(mutex_);
    fetches_.push_back(std::move(fetch));
  }
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, double>> timings_;
  std::vector<Fetch> fetches_;
};

// What one download told its caller; filled on the service's queue.
struct Outcome {
  int calls = 0;
  std::string body;
  std::int64_t status = 0;
  std::optional<fnd::Error> error;
  std::vector<double> progress;
};

class Outcomes {
 public:
  AFXNetworkService::ProgressHandler progressFor(const std::string& key) {
    return [this, key](double fraction) {
      std::lock_guard lock(mutex_);
      outcomes_[key].progress.push_back(fraction);
    };
  }
  AFXNetworkService::Callback callbackFor(const std::string& key) {
    return [this, key](const std::shared_ptr<fnd::URL>& location, const std::shared_ptr<fnd::HTTPURLResponse>& response,
                       const std::optional<fnd::Error>& error) {
      std::string body;
      if (location) {
        std::ifstream file(location->path(), std::ios::binary);
        body.assign(std::istreambuf_iterator<char>(file), {});
      }
      std::lock_guard lock(mutex_);
      auto& outcome = outcomes_[key];
      ++outcome.calls;
      outcome.body = std::move(body);
      outcome.status = response ? response->statusCode() : 0;
      outcome.error = error;
    };
  }
  Outcome operator[](const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto found = outcomes_.find(key);
    return found == outcomes_.end() ? Outcome{} : found->second;
  }
  int calls(const std::string& key) const { return (*this)[key].calls; }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Outcome> outcomes_;
};

template <class Predicate>
bool waitUntil(Predicate predicate) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

void expectError(const std::optional<fnd::Error>& error, std::string_view domain, std::int64_t code) {
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->domain(), domain);
  EXPECT_EQ(error->code(), code) << error->description();
}

class NetworkServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    factory_ = std::make_shared<RecordingFactory>();
    factory_->sink = factory_;
    service_ = AFXNetworkService::create(factory_);
  }
  void TearDown() override {
    // Every request still owes its caller one callback, the cancellation.
    service_->invalidate();
    for (const auto& key : requested_) EXPECT_TRUE(waitUntil([&] { return outcomes_.calls(key) == 1; })) << key;
    service_.reset();
    if (server_) server_->stop();
  }

  void startServer(dist::Faults faults = {}) {
    dist::Options options;
    options.rootFolder = gEnvironment->folder / "root";
    options.certificateChainFile = gEnvironment->folder / "tls/server.pem";
    options.privateKeyFile = gEnvironment->folder / "tls/server-key.pem";
    options.faults = std::move(faults);
    options.threads = 2;
    auto server = dist::Server::start(std::move(options));
    ASSERT_TRUE(server.hasValue()) << server.error().description();
    server_ = std::move(server).value();
  }
  // Answers wait long enough that transfers stay running for the test.
  void startStallingServer() { startServer({.stall = std::chrono::milliseconds(60'000)}); }

  std::string url(int index) const { return server_->baseURL() + resourcePath(index); }

  std::shared_ptr<AFXResourceDownloadPriorityHolder> request(int index, AFXResourceDownloadPriority priority,
                                                             std::shared_ptr<QVCancellation> token = nullptr,
                                                             std::optional<std::string> statsdID = std::nullopt) {
    const auto key = url(index);
    requested_.push_back(key);
    return service_->downloadResourceAtURL(fnd::URL::URLWithString(key), priority, "screenshot", std::move(statsdID),
                                           token, outcomes_.progressFor(key), outcomes_.callbackFor(key));
  }
  std::vector<std::string> urls(std::initializer_list<int> indexes) const {
    std::vector<std::string> texts;
    for (int index : indexes) texts.push_back(url(index));
    return texts;
  }
  std::vector<std::string> running() const {
    auto state = service_->schedulingState().running;
    std::sort(state.begin(), state.end());
    return state;
  }
  std::vector<std::string> sorted(std::vector<std::string> texts) const {
    std::sort(texts.begin(), texts.end());
    return texts;
  }

  std::shared_ptr<RecordingFactory> factory_;
  std::shared_ptr<AFXNetworkService> service_;
  std::unique_ptr<dist::Server> server_;
  Outcomes outcomes_;
  std::vector<std::string> requested_;
};

TEST_F(NetworkServiceTest, FourTransfersRunAndTheFifthStartsWhenOneEnds) {
  startStallingServer();
  std::vector<std::shared_ptr<QVCancellationToken>> tokens;
  for (int index = 0; index < 5; ++index) {
    tokens.push_back(QVCancellationToken::create());
    request(index, AFXResourceDownloadPriorityDefault, tokens.back());
  }
  auto state = service_->schedulingState();
  EXPECT_EQ(sorted(state.running), urls({0, 1, 2, 3}));
  EXPECT_EQ(state.waiting[1], urls({4}));

  // A cancellation after the request ends the running task; the session's
  // own cancellation error reaches the caller unchanged.
  tokens[2]->cancel();
  ASSERT_TRUE(waitUntil([&] { return outcomes_.calls(url(2)) == 1; }));
  expectError(outcomes_[url(2)].error, fnd::NSURLErrorDomain, fnd::NSURLErrorCancelled);
  EXPECT_EQ(outcomes_[url(2)].progress.back(), 1.0);
  ASSERT_TRUE(waitUntil([&] { return running() == urls({0, 1, 3, 4}); }));
  EXPECT_TRUE(service_->schedulingState().waiting[1].empty());
}

TEST_F(NetworkServiceTest, HighPriorityPausesTheLowestRunningTransferWhichWaitsFirstInItsList) {
  startStallingServer();
  request(0, AFXResourceDownloadPriorityDefault);
  request(1, AFXResourceDownloadPriorityLow);
  request(2, AFXResourceDownloadPriorityDefault);
  request(3, AFXResourceDownloadPriorityDefault);
  request(4, AFXResourceDownloadPriorityDefault);  // waits in list 1

  request(5, AFXResourceDownloadPriorityHigh);
  auto state = service_->schedulingState();
  EXPECT_EQ(sorted(state.running), urls({0, 2, 3, 5}));
  EXPECT_EQ(state.waiting[0], urls({1}));
  EXPECT_EQ(state.waiting[1], urls({4}));

  // Among equals the earliest is paused, and it goes ahead of those waiting.
  request(6, AFXResourceDownloadPriorityHigh);
  state = service_->schedulingState();
  EXPECT_EQ(sorted(state.running), urls({2, 3, 5, 6}));
  EXPECT_EQ(state.waiting[1], urls({0, 4}));

  // Running high-priority transfers are never paused for one another.
  request(7, AFXResourceDownloadPriorityHigh);
  state = service_->schedulingState();
  EXPECT_EQ(sorted(state.running), urls({3, 5, 6, 7}));
  EXPECT_EQ(state.waiting[1], urls({2, 0, 4}));
  EXPECT_EQ(state.waiting[0], urls({1}));
}

TEST_F(NetworkServiceTest, HighPriorityRequestWithAFreeSlotPausesNothing) {
  fnd::ManualClock clock;
  fnd::ScopedClockOverride override(clock);
  startServer({.stall = 300ms});  // holds the answers while the test moves the clock
  request(0, AFXResourceDownloadPriorityLow, nullptr, std::string("app_icon"));
  request(1, AFXResourceDownloadPriorityDefault);
  ASSERT_EQ(running(), urls({0, 1}));  // started before the clock moves
  clock.advance(1s);
  request(2, AFXResourceDownloadPriorityHigh, nullptr, std::string("vendor_app"));
  const auto state = service_->schedulingState();
  EXPECT_EQ(sorted(state.running), urls({0, 1, 2}));
  for (const auto& list : state.waiting) EXPECT_TRUE(list.empty());
  // A pause and restart would have reset the low transfer's start date.
  ASSERT_TRUE(waitUntil([&] { return factory_->timings().size() == 2; }));
  auto timings = factory_->timings();
  std::sort(timings.begin(), timings.end());
  EXPECT_EQ(timings[0], std::make_pair(std::string("app_icon"), 1.0));
  EXPECT_EQ(timings[1], std::make_pair(std::string("vendor_app"), 0.0));
}

TEST_F(NetworkServiceTest, PriorityChangesReorderWorkButRaisingAWaitingOneDoesNotMoveIt) {
  startStallingServer();
  std::vector<std::shared_ptr<AFXResourceDownloadPriorityHolder>> holders;
  for (int index = 0; index < 4; ++index) holders.push_back(request(index, AFXResourceDownloadPriorityHigh));
  auto waitingHolder = request(4, AFXResourceDownloadPriorityDefault);
  request(5, AFXResourceDownloadPriorityHigh);
  ASSERT_EQ(service_->schedulingState().waiting[2], urls({5}));

  // The holder's queue, then the service's: both have handled the change.
  auto settle = [&](const std::shared_ptr<AFXResourceDownloadPriorityHolder>& holder) {
    (void)holder->priority();
    return service_->schedulingState();
  };

  waitingHolder->setPriority(AFXResourceDownloadPriorityHigh);
  auto state = settle(waitingHolder);
  EXPECT_EQ(state.waiting[1], urls({4}));
  EXPECT_EQ(state.waiting[2], urls({5}));

  // Lowering a running transfer pauses it for the waiting high one.
  holders[1]->setPriority(AFXResourceDownloadPriorityDefault);
  state = settle(holders[1]);
  EXPECT_EQ(sorted(state.running), urls({0, 2, 3, 5}));
  EXPECT_EQ(state.waiting[1], urls({1, 4}));
  EXPECT_TRUE(state.waiting[2].empty());
}

TEST_F(NetworkServiceTest, PriorityLoweredInAnotherProcessPausesTheRunningTransfer) {
  startStallingServer();
  std::vector<std::shared_ptr<AFXResourceDownloadPriorityHolder>> holders;
  for (int index = 0; index < 5; ++index) holders.push_back(request(index, AFXResourceDownloadPriorityHigh));
  ASSERT_EQ(service_->schedulingState().waiting[2], urls({4}));

  // Another process's holder of resource 2 broadcasts priority 0.
  gEnvironment->notifier->postNotification(holders[2]->identifier(), fnd::Value(std::string("0x7f01@999999--0")));
  ASSERT_TRUE(waitUntil([&] { return service_->schedulingState().waiting[0] == urls({2}); }));
  EXPECT_EQ(running(), urls({0, 1, 3, 4}));
  EXPECT_EQ(holders[2]->priority(), AFXResourceDownloadPriorityLow);

  // The holder tells the other processes of a change made here, once.
  const auto postsBefore = gEnvironment->notifier->posts().size();
  holders[2]->setPriority(AFXResourceDownloadPriorityHigh);
  (void)holders[2]->priority();
  const auto posts = gEnvironment->notifier->posts();
  ASSERT_EQ(posts.size(), postsBefore + 1);
  EXPECT_EQ(posts.back().name, holders[2]->identifier());
}

TEST_F(NetworkServiceTest, CancellationBeforeTheRequestCallsBackAtOnceAndStartsNothing) {
  startStallingServer();
  auto token = QVCancellationToken::create();
  token->cancel();
  auto holder = request(0, AFXResourceDownloadPriorityHigh, token);
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(outcomes_.calls(url(0)), 1);
  expectError(outcomes_[url(0)].error, AFXDefaultErrorDomain, AFXErrorCodeCancelled);
  const auto state = service_->schedulingState();
  EXPECT_TRUE(state.running.empty());
  for (const auto& list : state.waiting) EXPECT_TRUE(list.empty());
  EXPECT_TRUE(server_->servedRequests().empty());
}

TEST_F(NetworkServiceTest, CancellingAWaitingDownloadCallsBackOnceAndFreesNoSlot) {
  startStallingServer();
  for (int index = 0; index < 4; ++index) request(index, AFXResourceDownloadPriorityDefault);
  auto token = QVCancellationToken::create();
  request(4, AFXResourceDownloadPriorityLow, token);
  ASSERT_EQ(service_->schedulingState().waiting[0], urls({4}));
  token->cancel();
  ASSERT_TRUE(waitUntil([&] { return outcomes_.calls(url(4)) == 1; }));
  expectError(outcomes_[url(4)].error, fnd::NSURLErrorDomain, fnd::NSURLErrorCancelled);
  const auto state = service_->schedulingState();
  EXPECT_TRUE(state.waiting[0].empty());
  EXPECT_EQ(sorted(state.running), urls({0, 1, 2, 3}));
}

TEST_F(NetworkServiceTest, DownloadsArriveWholeWithProgressAndTimings) {
  startServer();
  for (int index = 0; index < 6; ++index) {
    request(index, static_cast<AFXResourceDownloadPriority>(index % 3), nullptr, std::string("screenshot"));
  }
  for (int index = 0; index < 6; ++index) {
    ASSERT_TRUE(waitUntil([&] { return outcomes_.calls(url(index)) == 1; })) << index;
    const auto outcome = outcomes_[url(index)];
    EXPECT_FALSE(outcome.error.has_value()) << outcome.error->description();
    EXPECT_EQ(outcome.status, 200);
    EXPECT_TRUE(outcome.body == gEnvironment->contents[index]) << index;
    ASSERT_FALSE(outcome.progress.empty());
    EXPECT_TRUE(std::is_sorted(outcome.progress.begin(), outcome.progress.end()));
    EXPECT_EQ(outcome.progress.back(), 1.0);
  }
  ASSERT_TRUE(waitUntil([&] { return factory_->timings().size() == 6; }));
  for (const auto& [name, seconds] : factory_->timings()) {
    EXPECT_EQ(name, "screenshot");
    EXPECT_GE(seconds, 0.0);
  }
  EXPECT_TRUE(service_->schedulingState().running.empty());
  // The file was the caller's only during its call.
  EXPECT_TRUE(fs::is_empty(gEnvironment->folder / "downloads"));
}

TEST_F(NetworkServiceTest, NotFoundIsTheCatalogueErrorAndIsTimedAsAFailureOnTheClock) {
  fnd::ManualClock clock;
  fnd::ScopedClockOverride override(clock);
  dist::Faults faults;
  faults.statusForPath[resourcePath(0)] = 404;
  faults.stall = 300ms;  // holds the answer while the test moves the clock
  startServer(faults);
  request(0, AFXResourceDownloadPriorityHigh, nullptr, std::string("vendor_app"));
  ASSERT_EQ(service_->schedulingState().running, urls({0}));
  clock.advance(2500ms);
  ASSERT_TRUE(waitUntil([&] { return outcomes_.calls(url(0)) == 1; }));
  const auto outcome = outcomes_[url(0)];
  expectError(outcome.error, AFXDefaultErrorDomain, AFXErrorCodeHTTPNotFound);
  EXPECT_EQ(outcome.status, 0);  // no response with an error
  ASSERT_TRUE(waitUntil([&] { return factory_->timings().size() == 1; }));
  EXPECT_EQ(factory_->timings()[0].first, "vendor_app-failure");
  EXPECT_DOUBLE_EQ(factory_->timings()[0].second, 2.5);
}

TEST_F(NetworkServiceTest, UnknownLengthReportsZeroUntilTheEnd) {
  startServer({.omitContentLength = true});
  request(3, AFXResourceDownloadPriorityDefault);
  ASSERT_TRUE(waitUntil([&] { return outcomes_.calls(url(3)) == 1; }));
  const auto outcome = outcomes_[url(3)];
  EXPECT_FALSE(outcome.error.has_value());
  EXPECT_TRUE(outcome.body == gEnvironment->contents[3]);
  ASSERT_GE(outcome.progress.size(), 2u);
  for (std::size_t i = 0; i + 1 < outcome.progress.size(); ++i) EXPECT_EQ(outcome.progress[i], 0.0);
  EXPECT_EQ(outcome.progress.back(), 1.0);
}

TEST(NetworkServiceLookupTest, LookupsGoToTheFactoryOrFailWithoutOne) {
  auto factory = std::make_shared<RecordingFactory>();
  auto service = AFXNetworkService::create(factory);
  std::vector<std::shared_ptr<QVValueOrError>> results;
  auto keep = [&](const std::shared_ptr<QVValueOrError>& result) { results.push_back(result); };
  service->fetchEnvironmentWithID(AFXDefaultEnvironmentID::make(), keep);
  service->fetchCustomerWithID(nullptr, keep);
  ASSERT_EQ(factory->fetches().size(), 2u);
  EXPECT_EQ(factory->fetches()[1].what, "customer");
  EXPECT_FALSE(factory->fetches()[1].forceUpdate);
  EXPECT_EQ(results[0]->value().stringValue(), "environment record");

  factory.reset();
  service->fetchEnvironmentWithID(AFXDefaultEnvironmentID::make(), keep);
  service->fetchCustomerWithID(nullptr, keep);
  ASSERT_EQ(results.size(), 4u);
  for (std::size_t i = 2; i < 4; ++i) {
    ASSERT_TRUE(results[i]->error().has_value());
    expectError(results[i]->error(), AFXDefaultErrorDomain, AFXErrorCodeMissingService);
  }
  EXPECT_NE(results[2]->error()->description(), results[3]->error()->description());
}

}  // namespace
