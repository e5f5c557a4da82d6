// The product's metric client against a UDP server bound on loopback: the
// metric names it builds, what it sends for environments without a
// statistics identifier, and its logs, which never show the account key.

#include "interface/analytics/afx_statsd_client.h"

#include <gtest/gtest.h>

#include "interface/model/afx_environment_id.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"
#include "tools/statsd/tests/statsd_loopback_server.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using qv_statsd_testing::LoopbackServer;

const std::string kPrefix = std::string(AFXStatsdClient::kNamespace) + ".korvia.production.1_9_8.";

class AFXStatsdClientTest : public ::testing::Test {
 protected:
  void SetUp() override { DDLog::addLogger(logger_); }
  void TearDown() override { DDLog::removeLogger(logger_); }

  std::shared_ptr<AFXStatsdClient> makeClient() {
    auto client = AFXStatsdClient::createWithHost("127.0.0.1", server_.port());
    EXPECT_TRUE(client);
    return client;
  }
  // Every line handed over so far has been sent or given up, and logged.
  std::vector<std::string> logsAfterDrain(const std::shared_ptr<AFXStatsdClient>& client) {
    client->client()->internalQueue().sync([] {});
    DDLog::flushLog();
    return logger_->texts();
  }

  LoopbackServer server_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

TEST_F(AFXStatsdClientTest, EveryMetricCarriesTheNamespaceStatisticsIdentifierAndVersion) {
  auto client = makeClient();
  client->metricsNamedRecordCount("download", 1);
  EXPECT_EQ(server_.receive(), kPrefix + "download:1|c");
  client->metricsNamedRecordSample("download", 3, 0.25);
  EXPECT_EQ(server_.receive(), kPrefix + "download:3|c|@0.25");
  client->metricsNamedRecordTiming("get_auth_token", 0.0015);
  EXPECT_EQ(server_.receive(), kPrefix + "get_auth_token:1|ms");
  client->metricsNamedSetGauge("queue", 5);
  EXPECT_EQ(server_.receive(), kPrefix + "queue:5|g");
  client->metricsNamedAdjustGauge("queue", -3);
  EXPECT_EQ(server_.receive(), kPrefix + "queue:-3|g");
  client->metricsNamedAdjustGauge("queue", 0);
  EXPECT_EQ(server_.receive(), kPrefix + "queue:+0|g");
}

TEST_F(AFXStatsdClientTest, SentLinesAreLoggedWithTheNamespaceMasked) {
  auto client = makeClient();
  client->metricsNamedRecordCount("download", 2);
  ASSERT_TRUE(server_.receive());
  const auto logs = logsAfterDrain(client);
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.back(), "statsd: <statsdID>.korvia.production.1_9_8.download:2|c");
  for (const auto& text : logs) EXPECT_EQ(text.find(AFXStatsdClient::kNamespace), std::string::npos) << text;
}

TEST_F(AFXStatsdClientTest, EnvironmentWithoutStatisticsIdentifierSendsAndLogsNothing) {
  auto client = makeClient();
  client->setEnvironmentID(
      AFXEnvironmentID::environmentWithURLString("https://staging.example.test/endpoints.json"));
  ASSERT_FALSE(client->environmentID()->statsdID());
  client->metricsNamedRecordCount("download", 1);
  client->metricsNamedRecordTiming("unpack", 1.0);
  client->metricsNamedAdjustGauge("queue", 1);
  EXPECT_TRUE(logsAfterDrain(client).empty());
  EXPECT_FALSE(server_.receive(50));

  // Back on the default environment the metrics flow again.
  client->setEnvironmentID(AFXEnvironmentID::defaultEnvironmentID());
  client->metricsNamedRecordCount("download", 1);
  EXPECT_EQ(server_.receive(), kPrefix + "download:1|c");
}

TEST_F(AFXStatsdClientTest, UnreachableHostIsLoggedAsAFailureWithTheMaskedLine) {
  // A name with an empty label fails to resolve without asking the network.
  auto client = AFXStatsdClient::createWithHost("bad..host", 0);
  ASSERT_TRUE(client);
  EXPECT_EQ(client->client()->port(), QVStatsdClient::kDefaultPort);
  client->metricsNamedRecordCount("download", 1);
  const auto logs = logsAfterDrain(client);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0], "Did fail to send statsd: <statsdID>.korvia.production.1_9_8.download:1|c with error -1");
}

TEST_F(AFXStatsdClientTest, NoHostMakesNoClient) {
  EXPECT_FALSE(AFXStatsdClient::createWithHost("", 0));
  DDLog::flushLog();
  EXPECT_EQ(logger_->texts(), std::vector<std::string>{"Did fail to make statsd client to "});
}

TEST(AFXStatsdHostTest, TheVariableNamesTheHost) {
  unarchiver_test::Sandbox sandbox;
  sandbox.set(std::string(AFXStatsdHostVariable), "metrics.example.test");
  EXPECT_EQ(AFXStatsdHostName(), "metrics.example.test");
  sandbox.set(std::string(AFXStatsdHostVariable), "");
  EXPECT_EQ(AFXStatsdHostName(), "statsd.korvia.com");
}

}  // namespace
