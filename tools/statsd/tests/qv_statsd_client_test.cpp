#include "tools/statsd/qv_statsd_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <clocale>
#include <mutex>
#include <vector>

#include "tools/statsd/tests/statsd_loopback_server.h"

namespace {

using qv_statsd_testing::LoopbackServer;

class RecordingDelegate : public QVStatsdClientDelegate {
 public:
  void statsdClientDidSendCommand(QVStatsdClient&, const std::string& command) override {
    std::lock_guard lock(mutex);
    sent.push_back(command);
  }
  void statsdClientDidFailToSendCommand(QVStatsdClient&, const std::string& command, long error) override {
    std::lock_guard lock(mutex);
    failed.emplace_back(command, error);
  }
  std::mutex mutex;
  std::vector<std::string> sent;
  std::vector<std::pair<std::string, long>> failed;
};

void drain(const std::shared_ptr<QVStatsdClient>& client) { client->internalQueue().sync([] {}); }

TEST(QVStatsdClientTest, MetricLinesHaveTheDocumentedForms) {
  LoopbackServer server;
  auto client = QVStatsdClient::initWithHost("127.0.0.1", server.port(), "ns");
  // A decimal comma in the process's locale must not reach the line.
  const std::string previousLocale = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");

  client->metricsNamedRecordCount("download", 1);
  EXPECT_EQ(server.receive(), "ns.download:1|c");
  client->metricsNamedRecordSample("download", 7, 0.5);
  EXPECT_EQ(server.receive(), "ns.download:7|c|@0.50");
  client->metricsNamedRecordTiming("unpack", 0.0015);
  EXPECT_EQ(server.receive(), "ns.unpack:1|ms");
  client->metricsNamedRecordTiming("unpack", 2.25);
  EXPECT_EQ(server.receive(), "ns.unpack:2250|ms");
  client->metricsNamedSetGauge("queue", -4);
  EXPECT_EQ(server.receive(), "ns.queue:-4|g");
  client->metricsNamedAdjustGauge("queue", -3);
  EXPECT_EQ(server.receive(), "ns.queue:-3|g");
  client->metricsNamedAdjustGauge("queue", 3);
  EXPECT_EQ(server.receive(), "ns.queue:+3|g");
  client->metricsNamedAdjustGauge("queue", 0);
  EXPECT_EQ(server.receive(), "ns.queue:+0|g");
  client->send("raw line");
  EXPECT_EQ(server.receive(), "raw line");

  std::setlocale(LC_NUMERIC, previousLocale.c_str());
}

TEST(QVStatsdClientTest, PortZeroMeansTheDefault) {
  EXPECT_EQ(QVStatsdClient::initWithHost("127.0.0.1", 0, "ns")->port(), QVStatsdClient::kDefaultPort);
  EXPECT_EQ(QVStatsdClient::initWithHost("127.0.0.1", 9, "ns")->port(), 9);
}

TEST(QVStatsdClientTest, DelegateHearsOfEveryLineSent) {
  LoopbackServer server;
  auto client = QVStatsdClient::initWithHost("localhost", server.port(), "ns");
  auto delegate = std::make_shared<RecordingDelegate>();
  client->setDelegate(delegate);
  client->metricsNamedRecordCount("a", 1);
  client->metricsNamedRecordCount("b", 2);
  drain(client);
  std::lock_guard lock(delegate->mutex);
  EXPECT_EQ(delegate->sent, (std::vector<std::string>{"ns.a:1|c", "ns.b:2|c"}));
  EXPECT_TRUE(delegate->failed.empty());
}

TEST(QVStatsdClientTest, FailedRetryDropsTheSocketAndTheNextLineReconnects) {
  LoopbackServer server;
  // A socket that can no longer send: both tries fail with EPIPE.
  const int broken = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(broken, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(server.port()));
  ASSERT_EQ(::connect(broken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::shutdown(broken, SHUT_WR), 0);

  auto client = QVStatsdClient::initWithHost("127.0.0.1", server.port(), "ns", broken);
  auto delegate = std::make_shared<RecordingDelegate>();
  client->setDelegate(delegate);
  client->metricsNamedRecordCount("lost", 1);
  client->metricsNamedRecordCount("kept", 1);
  EXPECT_EQ(server.receive(), "ns.kept:1|c");
  drain(client);
  std::lock_guard lock(delegate->mutex);
  ASSERT_EQ(delegate->failed.size(), 1u);
  EXPECT_EQ(delegate->failed[0].first, "ns.lost:1|c");
  EXPECT_EQ(delegate->failed[0].second, EPIPE);
  EXPECT_EQ(delegate->sent, std::vector<std::string>{"ns.kept:1|c"});
}

TEST(QVStatsdClientTest, HostAndNamespaceAreRequired) {
  EXPECT_DEATH(QVStatsdClient::initWithHost("", 0, "ns"), "host");
  EXPECT_DEATH(QVStatsdClient::initWithHost("127.0.0.1", 0, ""), "namespace");
}

}  // namespace
