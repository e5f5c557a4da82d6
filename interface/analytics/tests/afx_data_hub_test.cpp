// The data hub against a loopback HTTP server that records every request:
// the POST it makes, the JSON body's keys in their order and precedence, and
// what it does with events it cannot carry or the server refuses.

#include "interface/analytics/afx_data_hub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devtools/http_recorder/recording_http_server.h"
#include "foundation/date.h"
#include "foundation/json_serialization.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"
#include "tools/qv_system_info.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using korvia::testing::RecordedRequest;
using korvia::testing::RecordingHTTPServer;

// Keys of a JSON object in document order, and the object.
struct Body {
  std::vector<std::string> keys;
  std::shared_ptr<fnd::Dictionary> object;
  std::string text(std::string_view key) const { return object->objectForKey(key).stringValue().value_or("<none>"); }
};

Body parse(const std::string& json) {
  auto value = fnd::JSONSerialization::JSONObjectWithData(json);
  EXPECT_TRUE(value) << json;
  Body body;
  body.object = value ? value->as<fnd::Dictionary>() : nullptr;
  if (!body.object) body.object = fnd::Dictionary::make();
  for (const auto& [key, _] : body.object->entries()) body.keys.push_back(key.stringValue().value_or(""));
  return body;
}

std::shared_ptr<fnd::Dictionary> fields(std::vector<fnd::Dictionary::Entry> entries) {
  return fnd::Dictionary::make(std::move(entries));
}

class AFXDataHubTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    sandbox_.set("LANGUAGE", "de_DE");
    server_ = RecordingHTTPServer::start();
    ASSERT_TRUE(server_);
    server_->answer("/events", {200, "{}"});
    AFXSetDisplayMetricsProvider([] { return AFXDisplayMetrics{1440, 900, 800, 600}; });
    defaults_ = fnd::UserDefaults::create("com.korvia.tests.data-hub");
    ASSERT_TRUE(defaults_);
    identification_ = AFXAnalyticsIdentification::initWithApplicationName("KorviaInstaller");
    hub_ = AFXDataHub::initWithIdentification(
        identification_, AFXDataHubConfiguration::initWithBaseURL(fnd::URL::URLWithString(server_->baseURL() + "/events")),
        defaults_);
    DDLog::addLogger(logger_);
  }
  void TearDown() override {
    DDLog::removeLogger(logger_);
    AFXSetDisplayMetricsProvider(nullptr);
  }

  // The server's requests once it has `count` of them (or after 5 s).
  std::vector<RecordedRequest> waitForRequests(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto requests = server_->requests();
    while (requests.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      requests = server_->requests();
    }
    return requests;
  }
  std::vector<std::string> logsContaining(std::string_view text) const {
    DDLog::flushLog();
    std::vector<std::string> found;
    for (const auto& line : logger_->texts()) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }

  unarchiver_test::Sandbox sandbox_;
  std::unique_ptr<RecordingHTTPServer> server_;
  std::shared_ptr<fnd::UserDefaults> defaults_;
  std::shared_ptr<AFXAnalyticsIdentification> identification_;
  std::shared_ptr<AFXDataHub> hub_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

TEST_F(AFXDataHubTest, EventIsPostedAsJSONWithTheStandardFieldsFirst) {
  ASSERT_TRUE(defaults_->setObject(fnd::Value("customer-7"), AFXDataHubUIDKey));
  hub_->setAppName("KorviaInstaller");
  hub_->trackEventWithParameters(fields({{fnd::Value("t"), fnd::Value("event")}, {fnd::Value("ec"), fnd::Value("Install")}}));
  const auto requests = waitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/events");
  EXPECT_EQ(requests[0].headers.at("content-type"), "application/json");
  EXPECT_EQ(requests[0].headers.at("user-agent"), identification_->userAgentString());
  EXPECT_TRUE(identification_->userAgentString().starts_with("KorviaInstaller/"));

  const Body body = parse(requests[0].body);
  std::vector<std::string> expected{"korvia_uid"};
  if (!QVSystemInfo::MACAddress().empty()) expected.push_back("mac");
  for (const char* key : {"an", "av", "sr", "vp", "ul", "t", "ec"}) expected.push_back(key);
  EXPECT_EQ(body.keys, expected);
  EXPECT_EQ(body.text("korvia_uid"), "customer-7");
  EXPECT_EQ(body.text("an"), "KorviaInstaller");
  EXPECT_EQ(body.text("av"), "1.9.8");
  EXPECT_EQ(body.text("sr"), "1440x900");
  EXPECT_EQ(body.text("vp"), "800x600");
  EXPECT_EQ(body.text("ul"), "de-DE");
  EXPECT_EQ(body.text("ec"), "Install");
  if (!QVSystemInfo::MACAddress().empty()) {
    EXPECT_EQ(body.text("mac"), QVSystemInfo::MACAddress());
  }
}

TEST_F(AFXDataHubTest, EventFieldsOverrideTheStandardOnesInPlace) {
  hub_->setAppName("KorviaInstaller");
  hub_->trackEventWithParameters(fields({{fnd::Value("an"), fnd::Value("Chronofold")}, {fnd::Value("av"), fnd::Value("2")}}));
  const auto requests = waitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  const Body body = parse(requests[0].body);
  EXPECT_EQ(body.text("an"), "Chronofold");
  EXPECT_EQ(body.text("av"), "2");
  // Without a stored customer identifier there is no "korvia_uid", and an
  // overridden key keeps its place among the standard ones.
  EXPECT_EQ(std::count(body.keys.begin(), body.keys.end(), "korvia_uid"), 0);
  EXPECT_LT(std::find(body.keys.begin(), body.keys.end(), "an") - body.keys.begin(),
            std::find(body.keys.begin(), body.keys.end(), "sr") - body.keys.begin());
}

TEST_F(AFXDataHubTest, UnnamedApplicationIsKorviaAndEmptyEventsStillGo) {
  ASSERT_TRUE(defaults_->setObject(fnd::Value(""), AFXDataHubUIDKey));
  hub_->trackEventWithParameters(nullptr);
  const auto requests = waitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  const Body body = parse(requests[0].body);
  EXPECT_EQ(body.text("an"), "Korvia");
  EXPECT_EQ(std::count(body.keys.begin(), body.keys.end(), "korvia_uid"), 0);
}

TEST_F(AFXDataHubTest, EventJSONCannotCarryIsDroppedAndTheNextOneGoes) {
  hub_->trackEventWithParameters(fields({{fnd::Value("when"), fnd::Value(fnd::Date::now())}}));
  hub_->trackEventWithParameters(fields({{fnd::Value("ec"), fnd::Value("after")}}));
  const auto requests = waitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(parse(requests[0].body).text("ec"), "after");
  hub_->sendingEventsQueue().sync([] {});
  EXPECT_EQ(server_->requests().size(), 1u);
}

TEST_F(AFXDataHubTest, OutcomeIsLoggedByStatus) {
  server_->answer("/events", {503, ""});
  hub_->trackEventWithParameters(fields({{fnd::Value("ec"), fnd::Value("refused")}}));
  ASSERT_EQ(waitForRequests(1).size(), 1u);
  std::vector<std::string> failures;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (failures.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    failures = logsContaining("[Data Hub] Failed to send event with response: 503 ");
  }
  EXPECT_EQ(failures.size(), 1u);
  EXPECT_TRUE(logsContaining("[Data Hub] Did send event").empty());
}

TEST(AFXDataHubConfigurationTest, EndpointIsTheEventsPathOfTheConfiguredOrigin) {
  unarchiver_test::Sandbox sandbox;
  sandbox.set(std::string(AFXEventsBaseURLVariable), "http://127.0.0.1:8080/");
  auto configuration = AFXDataHubConfiguration::defaultConfiguration();
  EXPECT_EQ(configuration->baseURL()->absoluteString(), "http://127.0.0.1:8080/events");
  EXPECT_EQ(configuration->actions()->absoluteString(), "http://127.0.0.1:8080/events/actions");
  sandbox.set(std::string(AFXEventsBaseURLVariable), "");
  EXPECT_EQ(AFXDataHubConfiguration::defaultConfiguration()->baseURL()->absoluteString(), "https://events.korvia.com/events");
}

TEST(AFXAnalyticsIdentificationTest, TextsFollowTheirFormats) {
  using namespace afx_analytics_detail;
  EXPECT_EQ(userAgentFor("KorviaInstaller", "412", "12.4.1"), "KorviaInstaller/412 (Macintosh; Intel Mac OS X 12_4_1)");
  EXPECT_EQ(userAgentFor("A", "1", "22.04"), "A/1 (Macintosh; Intel Mac OS X 22_4_0)");
  EXPECT_EQ(userAgentFor("A", "1", ""), "A/1 (Macintosh; Intel Mac OS X 0_0_0)");
  EXPECT_EQ(systemInfoFor({1440.4, 900, 0, 0}, std::string("en-US")), "&sr=1440x900&vp=0x0&ul=en-US");
  EXPECT_EQ(systemInfoFor({}, std::nullopt), "&sr=0x0&vp=0x0&ul=");
  EXPECT_EQ(applicationVersionOfBundle(nullptr), "Unknown");
}

}  // namespace
