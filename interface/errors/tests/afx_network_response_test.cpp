#include "interface/errors/afx_network_response.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/url_error.h"
#include "interface/errors/afx_errors.h"
#include "interface/errors/tests/errors_test_support.h"

namespace {

using fnd::Error;
using fnd::Value;

// The shared preferences live in a folder of the test's own, chosen before
// anything opens them.
class PreferencesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = std::make_unique<afx_test::TemporaryFolder>();
    ::setenv("XDG_CONFIG_HOME", folder_->path().c_str(), 1);
  }
  void TearDown() override { folder_.reset(); }

 private:
  std::unique_ptr<afx_test::TemporaryFolder> folder_;
};

[[maybe_unused]] const auto* const kPreferencesEnvironment =
    ::testing::AddGlobalTestEnvironment(new PreferencesEnvironment);

const std::string kURLText = "https://api.korvia.test/v3/apps";

AFXURLResponse http(std::int64_t status) { return {fnd::URL::URLWithString(kURLText), status}; }

std::optional<Error> interpret(std::optional<AFXURLResponse> response, std::optional<Error> networkError = {}) {
  return afx_interpretNetworkResponse(response, "v3/apps", networkError);
}

std::string identifierOf(const Error& error) {
  return error.userInfoValue(QVErrorAccessibilityIdentifierKey).stringValue().value_or("");
}

TEST(NetworkResponseStatusTest, SuccessfulStatusesYieldNoError) {
  afx_test::LogCapture log;
  for (std::int64_t status : {200, 201, 204, 299}) EXPECT_EQ(interpret(http(status)), std::nullopt) << status;
  EXPECT_TRUE(log.lines(DDLogFlagError).empty());
}

struct StatusCase {
  std::int64_t status;
  std::int64_t code;
};

class ClientStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ClientStatusTest, CarriesOnlyTheServerErrorIdentifier) {
  const auto error = interpret(http(GetParam().status));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(AFXDefaultErrorDomain, GetParam().code)) << error->description();
  EXPECT_EQ(error->userInfo()->count(), 1u);
  EXPECT_EQ(identifierOf(*error), "error.server-error");
}

INSTANTIATE_TEST_SUITE_P(Statuses, ClientStatusTest,
                         ::testing::Values(StatusCase{400, -401400}, StatusCase{401, -401400}, StatusCase{402, -401402},
                                           StatusCase{403, -401403}, StatusCase{404, -401404}, StatusCase{409, -401409},
                                           StatusCase{424, -401424}, StatusCase{100, -401540}, StatusCase{300, -401540},
                                           StatusCase{304, -401540}, StatusCase{405, -401540}, StatusCase{418, -401540},
                                           StatusCase{499, -401540}, StatusCase{600, -401540}),
                         [](const auto& param) { return std::to_string(param.param.status); });

TEST(NetworkResponseStatusTest, UnlistedStatusIsLoggedAsUnknown) {
  afx_test::LogCapture log;
  const auto error = interpret(http(300));
  ASSERT_TRUE(error);
  const auto lines = log.lines(DDLogFlagError);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Unknown error code with response " + http(300).description());
  EXPECT_EQ(lines[1], "Did fail network request to URL " + kURLText + " with error " + error->description());
}

TEST(NetworkResponseStatusTest, MissingOrNonHTTPResponseCountsAsStatusZero) {
  for (const auto& response :
       {std::optional<AFXURLResponse>(),
        std::optional<AFXURLResponse>(AFXURLResponse{fnd::URL::URLWithString(kURLText), std::nullopt})}) {
    const auto error = interpret(response);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is(AFXDefaultErrorDomain, -401540));
  }
}

TEST(NetworkResponseStatusTest, GoneMeansTheClientIsOutdated) {
  const auto error = interpret(http(410));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(AFXDefaultErrorDomain, -401015));
  EXPECT_EQ(error->localizedRecoveryOptions(), (std::vector<std::string>{"Download Now", "Cancel"}));
}

TEST(NetworkResponseStatusTest, ServerFailuresNameTheRequestURL) {
  for (std::int64_t status : {500, 503, 599}) {
    afx_test::LogCapture log;
    const auto error = interpret(http(status));
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is(AFXDefaultErrorDomain, -401500));
    EXPECT_EQ(identifierOf(*error), "error.server-error");
    EXPECT_EQ(error->localizedDescription(), "Uh-oh! Korvia is having some connection issues.");
    EXPECT_EQ(error->underlyingError(), std::nullopt);
    EXPECT_EQ(log.lines(DDLogFlagError).front(), "Server error on " + kURLText + " with underlying error (null)");
  }
}

TEST(NetworkResponseStatusTest, CustomerReadingOfUnauthorised) {
  EXPECT_TRUE(afx_customerError(*interpret(http(401))).is(AFXDefaultErrorDomain, -401081));
  EXPECT_TRUE(afx_customerError(*interpret(http(404))).is(AFXDefaultErrorDomain, -401082));
  EXPECT_TRUE(afx_customerError(*interpret(http(402))).is(AFXDefaultErrorDomain, -401085));
}

TEST(NetworkTransportErrorTest, CancellationIsReturnedAsItIs) {
  const Error cancelled(fnd::NSURLErrorDomain, fnd::NSURLErrorCancelled,
                        {{Value(fnd::NSURLErrorFailingURLStringErrorKey), Value(kURLText)}});
  EXPECT_EQ(interpret(http(500), cancelled), cancelled);
  EXPECT_TRUE(afx_isCancelled(cancelled));
  EXPECT_EQ(interpret(std::nullopt, afx_cancel()), afx_cancel());
}

TEST(NetworkTransportErrorTest, AbortedConnectionMeansSoftwareBlocksTheNetwork) {
  const Error aborted(fnd::NSPOSIXErrorDomain, ECONNABORTED, nullptr);
  const auto error = interpret(std::nullopt, aborted);
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->is(AFXDefaultErrorDomain, -401001));
  EXPECT_EQ(error->localizedDescription(),
            "Korvia\u2019s Internet access got interrupted by another process or application.");
  EXPECT_EQ(error->underlyingError(), aborted);
}

TEST(NetworkTransportErrorTest, LostOrAbsentConnectionIsANetworkError) {
  for (auto code : {fnd::NSURLErrorNetworkConnectionLost, fnd::NSURLErrorNotConnectedToInternet}) {
    const Error transport(fnd::NSURLErrorDomain, code, nullptr);
    // The transport error decides even when a response arrived.
    const auto error = interpret(http(200), transport);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is(AFXDefaultErrorDomain, -401001));
    EXPECT_EQ(error->localizedDescription(), "Korvia requires Internet connection to continue.");
    EXPECT_EQ(error->underlyingError(), transport);
    EXPECT_EQ(identifierOf(*error), "error.bad-network");
  }
}

TEST(NetworkTransportErrorTest, OtherFailuresAreUnknownNetworkErrors) {
  for (const Error& transport : {Error(fnd::NSURLErrorDomain, fnd::NSURLErrorTimedOut, nullptr),
                                 Error(fnd::NSURLErrorDomain, fnd::NSURLErrorSecureConnectionFailed, nullptr),
                                 Error(fnd::NSPOSIXErrorDomain, ECONNRESET, nullptr)}) {
    afx_test::LogCapture log;
    const auto error = interpret(std::nullopt, transport);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is(AFXDefaultErrorDomain, -401001));
    EXPECT_EQ(error->localizedDescription(), "Uh-oh! Korvia is having some connection issues.");
    EXPECT_EQ(error->underlyingError(), transport);
    EXPECT_EQ(log.lines(DDLogFlagError),
              std::vector<std::string>{"Unknown network error encountered " + transport.description()});
  }
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void TearDown() override { ASSERT_TRUE(defaults()->removeObjectForKey("fake_v3/auth_token")); }
  static std::shared_ptr<fnd::UserDefaults> defaults() { return fnd::UserDefaults::create("com.korvia.DesktopClient"); }
};

TEST_F(FaultInjectionTest, InjectedCodeWinsOverWhateverHappened) {
  ASSERT_TRUE(defaults()->setInteger(-401404, "fake_v3/auth_token"));
  const Error expected(AFXDefaultErrorDomain, -401404, {{Value("fake"), Value(true)}});
  EXPECT_EQ(afx_interpretNetworkResponse(http(200), "v3/auth_token", std::nullopt), expected);
  EXPECT_EQ(afx_interpretNetworkResponse(std::nullopt, "v3/auth_token",
                                         Error(fnd::NSURLErrorDomain, fnd::NSURLErrorCancelled, nullptr)),
            expected);
  EXPECT_TRUE(afx_isInvalidToken(afx_customerError(expected)));
  // Other requests are left alone.
  EXPECT_EQ(afx_interpretNetworkResponse(http(200), "v3/auth_by_access_token", std::nullopt), std::nullopt);
}

TEST_F(FaultInjectionTest, ZeroOrRemovedKeyInjectsNothing) {
  ASSERT_TRUE(defaults()->setInteger(0, "fake_v3/auth_token"));
  EXPECT_EQ(afx_interpretNetworkResponse(http(204), "v3/auth_token", std::nullopt), std::nullopt);
  ASSERT_TRUE(defaults()->setInteger(-401500, "fake_v3/auth_token"));
  EXPECT_TRUE(afx_interpretNetworkResponse(http(204), "v3/auth_token", std::nullopt));
  ASSERT_TRUE(defaults()->removeObjectForKey("fake_v3/auth_token"));
  EXPECT_EQ(afx_interpretNetworkResponse(http(204), "v3/auth_token", std::nullopt), std::nullopt);
}

TEST(SharedPreferencesTest, OutsideTheClientTheNamedSuiteIsUsed) {
  ASSERT_NE(AFXDesktopClientSharedUserDefaults(), nullptr);
  EXPECT_EQ(AFXDesktopClientSharedUserDefaults()->domainName(), "com.korvia.DesktopClient");
}

}  // namespace
