// Token requests against a loopback server that records what it got, the
// answers' interpretation, credentials with their timing, sign-in links and
// the web service bases.

#include "interface/web/afx_customer_auth.h"

#include <gtest/gtest.h>

#include "devtools/http_recorder/recording_http_server.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "interface/errors/afx_errors.h"
#include "interface/model/afx_endpoints_manifest.h"
#include "interface/web/afx_web_service.h"
#include "logging/dd_log.h"
#include "logging/tests/recording_logger.h"
#include "tools/qv_json_parser.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using fnd::ipc::testing::Inbox;
using korvia::testing::CannedResponse;
using korvia::testing::RecordingHTTPServer;

class RecordingMetrics final : public AFXMetricsSink {
 public:
  void metricsNamedRecordTiming(std::string_view name, double seconds) override {
    names.put(std::string(name));
    EXPECT_GE(seconds, 0.0);
  }
  Inbox<std::string> names;
};

class CustomerAuthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    server_ = RecordingHTTPServer::start();
    ASSERT_TRUE(server_);
    DDLog::addLogger(logger_);
  }
  void TearDown() override { DDLog::removeLogger(logger_); }

  std::shared_ptr<AFXEndpoint> endpoint(std::uint64_t type) const {
    return AFXEndpoint::initWithURL(fnd::URL::URLWithString(server_->baseURL() + "/customer/"), type);
  }

  std::shared_ptr<QVValueOrError> tokenFor(const AFXCustomerAuth& auth, std::uint64_t type = AFXEndpointTypeNeedy) {
    Inbox<std::shared_ptr<QVValueOrError>> results;
    auth.fetchAuthTokenAtAPIEndpoint(*endpoint(type), [&](const std::shared_ptr<QVValueOrError>& r) { results.put(r); });
    auto result = results.first();
    return result ? *result : nullptr;
  }

  unarchiver_test::Sandbox sandbox_;
  std::unique_ptr<RecordingHTTPServer> server_;
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

TEST_F(CustomerAuthTest, APasswordIsPostedEncodedToTheNeedyPath) {
  server_->answer("/customer/v3/auth_token", {200, R"({"data":{"id":"token-1"}})"});
  auto auth = AFCustomerAuthByPassword::initWithAccountName("ada+1@example.test", "a&b=c d");
  auto result = tokenFor(*auth);
  ASSERT_TRUE(result);
  ASSERT_FALSE(result->error()) << result->error()->description();
  EXPECT_EQ(result->value().stringValue(), "token-1");
  auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/customer/v3/auth_token");
  EXPECT_EQ(requests[0].body, "email=ada%2B1%40example.test&password=a%26b%3Dc%20d");

  // A self-sufficient endpoint is asked at its URL as it stands.
  server_->answer("/customer/", {200, R"({"data":{"id":"token-2"}})"});
  auto direct = tokenFor(*auth, AFXEndpointTypeSelfSufficient);
  ASSERT_TRUE(direct && !direct->error());
  EXPECT_EQ(direct->value().stringValue(), "token-2");
  EXPECT_EQ(server_->requests().back().target, "/customer/");
}

TEST_F(CustomerAuthTest, AnAccessTokenGoesToItsOwnPath) {
  server_->answer("/customer/v3/auth_by_access_token", {200, R"({"data":{"id":"token-3"}})"});
  auto auth = AFCustomerAuthByAccessToken::initWithAccountName("ada@example.test", "abc&def");
  auto result = tokenFor(*auth);
  ASSERT_TRUE(result && !result->error());
  EXPECT_EQ(result->value().stringValue(), "token-3");
  EXPECT_EQ(server_->requests().back().body, "access_token=abc%26def");
}

TEST_F(CustomerAuthTest, ErrorAnswersBecomeTheCustomerErrors) {
  auto auth = AFCustomerAuthByPassword::initWithAccountName("ada@example.test", "secret");
  struct Case {
    CannedResponse answer;
    std::string_view domain;
    std::int64_t code;
  };
  const std::vector<Case> cases = {
      {{404, ""}, AFXDefaultErrorDomain, AFXErrorCodeCustomerInvalidToken},
      {{402, ""}, AFXDefaultErrorDomain, AFXErrorCodeCustomerPaymentRequired},
      {{200, R"({"data":{}})"}, QVJSONParserErrorDomain, QVJSONParserMissingValueErrorCode},
      {{200, R"({"data":{"id":7}})"}, QVJSONParserErrorDomain, QVJSONParserIncorrectTypeErrorCode},
      {{200, R"([1, 2])"}, QVJSONParserErrorDomain, QVJSONParserIncorrectTypeErrorCode},
      {{200, "{not json"}, fnd::NSCocoaErrorDomain, 3840},
      {{200, ""}, fnd::NSCocoaErrorDomain, 3840},
  };
  for (const Case& c : cases) {
    server_->answer("/customer/v3/auth_token", c.answer);
    auto result = tokenFor(*auth);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->error()) << "status " << c.answer.status << " body " << c.answer.body;
    EXPECT_TRUE(result->error()->is(c.domain, c.code)) << result->error()->description();
  }
  DDLog::flushLog();
  std::size_t parseFailures = 0;
  for (const auto& text : logger_->texts()) parseFailures += text.starts_with("Did fail to parse refresh token with error ");
  EXPECT_EQ(parseFailures, 5u);
}

TEST_F(CustomerAuthTest, CredentialsCarryTheAccountAndTheirTiming) {
  auto manifest = AFXEndpointsManifest::make();
  manifest->setEndpointForCustomerAPI(endpoint(AFXEndpointTypeNeedy));
  auto environment = AFXEnvironment::initWithIdentifier(AFXDefaultEnvironmentID::make(), manifest);
  auto metrics = std::make_shared<RecordingMetrics>();
  std::shared_ptr<AFXCustomerAuth> auth = AFCustomerAuthByPassword::initWithAccountName("ada@example.test", "pw");
  Inbox<std::shared_ptr<QVValueOrError>> results;
  auto record = [&](const std::shared_ptr<QVValueOrError>& r) { results.put(r); };

  server_->answer("/customer/v3/auth_token", {200, R"({"data":{"id":"token-4"}})"});
  AFXCustomerCredentialsMakeWithCustomerAuth(auth, environment, metrics, record);
  ASSERT_TRUE(results.first());
  server_->answer("/customer/v3/auth_token", {500, ""});
  AFXCustomerCredentialsMakeWithCustomerAuth(auth, environment, metrics, record);
  ASSERT_TRUE(results.waitForCount(2));

  auto credentials = results.items()[0]->value().as<AFXCustomerCredentials>();
  ASSERT_TRUE(credentials) << (results.items()[0]->error() ? results.items()[0]->error()->description() : "no error");
  EXPECT_EQ(credentials->authToken(), "token-4");
  EXPECT_TRUE(credentials->customerID()->isEqual(
      *AFXCustomerID::initWithAccountName("ada@example.test", environment->identifier())));
  EXPECT_TRUE(results.items()[1]->error());
  ASSERT_TRUE(metrics->names.waitForCount(2));
  EXPECT_EQ(metrics->names.items(), (std::vector<std::string>{"get_auth_token", "get_auth_token-failure"}));
}

TEST(CustomerAutoSignIn, NeedsBothTheAccountAndTheToken) {
  auto url = [](const std::string& text) { return fnd::URL::URLWithString(text); };
  auto installer = AFXGetCustomerFromInstallerAutoSignInURL(
      *url("korvia://sign_in?email=old%40x.test&access_token=t1&email=ada%40example.test"));
  ASSERT_TRUE(installer);
  EXPECT_EQ(installer->accountName(), "ada@example.test");
  EXPECT_EQ(installer->accessToken(), "t1");
  EXPECT_FALSE(AFXGetCustomerFromInstallerAutoSignInURL(*url("korvia://sign_in?email=ada%40example.test&access_token=")));
  EXPECT_FALSE(AFXGetCustomerFromInstallerAutoSignInURL(*url("korvia://sign_in?user_email=a&access_token=t")));
  auto event = AFXGetCustomerFromEventAutoSignInURL(*url("korvia://event?user_email=ada%40example.test&access_token=t2"));
  ASSERT_TRUE(event);
  EXPECT_EQ(event->accountName(), "ada@example.test");
  EXPECT_FALSE(AFXGetCustomerFromEventAutoSignInURL(*url("korvia://event")));
}

TEST(WebServiceBases, WithoutANetworkServiceTheErrorPathIsTaken) {
  std::optional<fnd::Error> failure;
  bool ran = false;
  AFXGlobalWebService(std::weak_ptr<AFXNetworkService>()).perform([&](const auto&) { ran = true; }, [&](const fnd::Error& error) { failure = error; });
  EXPECT_FALSE(ran);
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->is(AFXDefaultErrorDomain, AFXErrorCodeMissingService)) << failure->description();
  failure.reset();
  AFXCustomerRelatedWebService(AFXCustomerID::initWithAccountName("a", AFXDefaultEnvironmentID::make()),
                               std::weak_ptr<AFXNetworkService>())
      .perform([&](const auto&, const auto&, const auto&) { ran = true; }, [&](const fnd::Error& error) { failure = error; });
  EXPECT_FALSE(ran);
  EXPECT_TRUE(failure);
}

}  // namespace
