#include "interface/errors/afx_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/string.h"
#include "foundation/url_error.h"
#include "interface/errors/afx_localized_string.h"
#include "interface/errors/afx_string_table.h"
#include "interface/errors/tests/errors_test_support.h"
#include "tools/recovery/qv_error_recovery.h"

namespace {

using fnd::Error;
using fnd::Value;

const Error kUnderlying(fnd::NSPOSIXErrorDomain, ENOENT, nullptr);

// What one constructor must build.
struct CatalogueEntry {
  std::string constructor;
  std::function<Error()> make;
  std::int64_t code;
  std::optional<std::string> description;
  std::optional<std::string> recoverySuggestion;
  std::vector<std::string> recoveryOptions;
  std::optional<std::string> accessibilityIdentifier;
  std::vector<std::pair<std::string, Value>> recorded;
  std::optional<Error> underlying;
};

constexpr const char* kConnectionIssues = "Uh-oh! Korvia is having some connection issues.";
constexpr const char* kTryLater = "Terribly sorry, please try again a little later.";

// A record with the one reflected property the version error reads.
class VersionRecord final : public fnd::Object {
 public:
  static const fnd::Class& staticClass() {
    static const fnd::Class& cls = fnd::Class::define(
        "KorviaTestVersionRecord", &fnd::Object::staticClass(), {},
        {{"minOSVersion",
          [](const fnd::Object& o) { return Value(static_cast<const VersionRecord&>(o).minOSVersion); },
          {}}});
    return cls;
  }
  explicit VersionRecord(std::string version) : minOSVersion(std::move(version)) {}
  const fnd::Class& objectClass() const override { return staticClass(); }
  std::string minOSVersion;
};

std::vector<CatalogueEntry> catalogue() {
  const std::string app = "Cleaner Pro";
  return {
      {"afx_cancel", [] { return afx_cancel(); }, -401005, {}, {}, {}, {}, {}, {}},
      {"afx_makeSystemIntegrityViolatedOnAction",
       [app] { return afx_errors_detail::makeSystemIntegrityViolated("open report stream", kUnderlying, app); },
       -401010,
       "This copy of Cleaner Pro requires an active Korvia account installed on your Mac.",
       "Download and install Korvia to use Cleaner Pro and discover even more awesome applications.",
       {"Learn More…", "Quit"},
       "error.system-integrity-violated",
       {{"action", Value("open report stream")}},
       kUnderlying},
      {"afx_makeSystemIntegrityViolatedOnAction (no name)",
       [] { return afx_errors_detail::makeSystemIntegrityViolated("ping", std::nullopt, ""); },
       -401010,
       "This application requires an active Korvia account installed on your Mac.",
       "Download and install Korvia to use this app and discover even more awesome applications",
       {"Learn More…", "Quit"},
       "error.system-integrity-violated",
       {{"action", Value("ping")}},
       {}},
      {"afx_missingDesktopClient",
       [] { return afx_missingDesktopClient(); },
       -401014,
       "The main Korvia application is missing on your Mac. Would you like to download and install it?",
       "This will allow you to discover and further use all of the Korvia applications.",
       {"Download and Install", "Cancel"},
       {},
       {},
       {}},
      {"afx_corruptedDesktopClient",
       [] { return afx_corruptedDesktopClient(); },
       -401015,
       "Your Korvia installation is broken and cannot be used properly.",
       "Please download a new copy of Korvia and reinstall it on your Mac to resolve the problem.",
       {"Download and Install", "Cancel"},
       {},
       {},
       {}},
      {"afx_oldDesktopClient",
       [] { return afx_oldDesktopClient(); },
       -401015,
       "Your current version of Korvia is outdated and can no longer be used.",
       "Please download and install the latest version to continue using Korvia.",
       {"Download Now", "Cancel"},
       {},
       {},
       {}},
      {"afx_makeFailedInstallOfAgentNamed",
       [] { return afx_makeFailedInstallOfAgentNamed("com.korvia.agent", "bootstrap", kUnderlying); },
       -401011,
       {},
       {},
       {},
       {},
       {{"operation", Value("bootstrap")}},
       kUnderlying},
      {"afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError",
       [] { return afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(kUnderlying); },
       -401001,
       "Korvia\u2019s Internet access got interrupted by another process or application.",
       "Please make sure no network management apps are blocking Korvia and try again.",
       {},
       "error.bad-network",
       {},
       kUnderlying},
      {"afx_makeNetworkErrorWithUnderlyingError",
       [] { return afx_makeNetworkErrorWithUnderlyingError(std::nullopt); },
       -401001,
       "Korvia requires Internet connection to continue.",
       "Please make sure you are connected and try again.",
       {},
       "error.bad-network",
       {},
       {}},
      {"afx_makeUnknownNetworkErrorWithUnderlyingError",
       [] { return afx_makeUnknownNetworkErrorWithUnderlyingError(kUnderlying); },
       -401001,
       kConnectionIssues,
       kTryLater,
       {},
       "error.bad-network",
       {},
       kUnderlying},
      {"afx_makeErrorOfMissingServiceNamed",
       [] { return afx_makeErrorOfMissingServiceNamed("network service", "web service request"); },
       -401002,
       {},
       {},
       {},
       {},
       {{"serviceName", Value("network service")}, {"propose", Value("web service request")}},
       {}},
      {"afx_makeErrorOfMissingObjectOfKind",
       [] { return afx_makeErrorOfMissingObjectOfKind("Korvia Bundle"); },
       -401003,
       {},
       {},
       {},
       {},
       {{"object kind", Value("Korvia Bundle")}},
       {}},
      {"afx_makeFailedDiskOperation",
       [] { return afx_makeFailedDiskOperation("move app", kUnderlying); },
       -401012,
       "Internal file operation failed",
       "Your issue is already being handled",
       {},
       {},
       {},
       kUnderlying},
      {"afx_makeServerErrorOnOperation",
       [] { return afx_makeServerErrorOnOperation("fetch apps", kUnderlying); },
       -401500,
       kConnectionIssues,
       kTryLater,
       {},
       "error.server-error",
       {},
       kUnderlying},
      {"afx_makeServerResponseParsingErrorOnOperation",
       [] { return afx_makeServerResponseParsingErrorOnOperation("fetch apps", std::nullopt); },
       -401540,
       kConnectionIssues,
       kTryLater,
       {},
       "error.server-error",
       {},
       {}},
      {"afx_noSuchAppInStoreToPresent",
       [] { return afx_noSuchAppInStoreToPresent(); },
       -401103,
       "This application is no longer available on Korvia.",
       "You may remove the alias from your computer.",
       {},
       {},
       {},
       {}},
      {"afx_appSignatureCheckFailedWithError",
       [] { return afx_appSignatureCheckFailedWithError(kUnderlying); },
       -401042,
       "Application signature could not be verified.",
       "It looks like the application was not code signed with a developer signature.",
       {},
       {},
       {},
       kUnderlying},
      {"afx_incompatibleAppMinOSVersion",
       [] { return afx_incompatibleAppMinOSVersion("14.2", "13.6.1"); },
       -401044,
       "This application requires macOS 14.2 or later to work on your computer. Currently you have macOS 13.6.1.",
       "Please update your operating system and try again.",
       {},
       {},
       {},
       {}},
      {"afx_incompatibleAppVersion",
       [] { return afx_incompatibleAppVersion(VersionRecord("15.0"), "12.1"); },
       -401044,
       "This application requires macOS 15.0 or later to work on your computer. Currently you have macOS 12.1.",
       "Please update your operating system and try again.",
       {},
       {},
       {},
       {}},
      {"afx_incompatibleInternalOSVersion",
       [] { return afx_incompatibleInternalOSVersion("14.0", "13.0"); },
       -401046,
       {},
       {},
       {},
       {},
       {},
       {}},
      {"afx_invalidMachine",
       [] { return afx_invalidMachine(); },
       -401086,
       "It looks like your Mac's identity has changed.",
       "Please sign in your Korvia account to continue using the service.",
       {},
       {},
       {},
       {}},
      {"afx_missingBucketToSaveUsageReportForEnvironmnetID",
       [] { return afx_missingBucketToSaveUsageReportForEnvironmnetID(Value("staging")); },
       -401108,
       {},
       {},
       {},
       {},
       {{"environmentID", Value("staging")}},
       {}},
      {"afx_noTeaserInstallResource", [] { return afx_noTeaserInstallResource(); }, -401101, {}, {}, {}, {}, {}, {}},
      {"afx_noVendorInstallResource", [] { return afx_noVendorInstallResource(); }, -401102, {}, {}, {}, {}, {}, {}},
      {"afx_noInternalUpdate", [] { return afx_noInternalUpdate(); }, -401104, {}, {}, {}, {}, {}, {}},
      {"afx_noAppInstanceToLaunch", [] { return afx_noAppInstanceToLaunch(); }, -401105, {}, {}, {}, {}, {}, {}},
      {"afx_noAppInStoreToLaunch", [] { return afx_noAppInStoreToLaunch(); }, -401106, {}, {}, {}, {}, {}, {}},
      {"afx_failedToSaveResourceOnDisk",
       [] { return afx_failedToSaveResourceOnDisk(); },
       -401107,
       {},
       {},
       {},
       {},
       {},
       {}},
      {"afx_didFailToInstallVendorAppForUnknownReason",
       [] { return afx_didFailToInstallVendorAppForUnknownReason(); },
       -401109,
       {},
       {},
       {},
       {},
       {},
       {}},
      {"afx_didFailToUnpackApp", [] { return afx_didFailToUnpackApp(); }, -401041, {}, {}, {}, {}, {}, {}},
      {"afx_invalidKorviaIDOfVendorApp",
       [] { return afx_invalidKorviaIDOfVendorApp(Value(77)); },
       -401043,
       {},
       {},
       {},
       {},
       {},
       {}},
      {"afx_teaserAppProvidedInconsistentData",
       [] { return afx_teaserAppProvidedInconsistentData(); },
       -401045,
       {},
       {},
       {},
       {},
       {},
       {}},
      {"afx_endpoinstManifestIsCorruptedWithKey",
       [] { return afx_endpoinstManifestIsCorruptedWithKey("store"); },
       -401013,
       {},
       {},
       {},
       {},
       {},
       {}},
  };
}

class CatalogueTest : public ::testing::TestWithParam<CatalogueEntry> {};

std::optional<std::string> stringEntry(const Error& error, std::string_view key) {
  return error.userInfoValue(key).stringValue();
}

TEST_P(CatalogueTest, BuildsTheDocumentedError) {
  const CatalogueEntry& entry = GetParam();
  const Error error = entry.make();
  EXPECT_EQ(error.domain(), "com.korvia.default-error-domain");
  EXPECT_EQ(error.code(), entry.code);
  EXPECT_EQ(stringEntry(error, fnd::NSLocalizedDescriptionKey), entry.description);
  EXPECT_EQ(error.localizedFailureReason(), std::nullopt);
  EXPECT_EQ(stringEntry(error, fnd::NSLocalizedRecoverySuggestionErrorKey), entry.recoverySuggestion);
  EXPECT_EQ(error.localizedRecoveryOptions(), entry.recoveryOptions);
  EXPECT_EQ(stringEntry(error, QVErrorAccessibilityIdentifierKey), entry.accessibilityIdentifier);
  EXPECT_EQ(error.underlyingError(), entry.underlying);
  // Every error with options acts on them; the others have no recovery.
  EXPECT_EQ(recoveryAttemptInfo(error) != nullptr, !entry.recoveryOptions.empty());
  for (const auto& [key, value] : entry.recorded) EXPECT_EQ(error.userInfoValue(key), value) << key;

  std::set<std::string> expectedKeys;
  for (const auto& [key, value] : entry.recorded) expectedKeys.insert(key);
  if (entry.description) expectedKeys.insert(std::string(fnd::NSLocalizedDescriptionKey));
  if (entry.recoverySuggestion) expectedKeys.insert(std::string(fnd::NSLocalizedRecoverySuggestionErrorKey));
  if (!entry.recoveryOptions.empty()) {
    expectedKeys.insert(std::string(fnd::NSLocalizedRecoveryOptionsErrorKey));
    expectedKeys.insert(std::string(QVErrorRecoveryAttemptInfoKey));
  }
  if (entry.accessibilityIdentifier) expectedKeys.insert(std::string(QVErrorAccessibilityIdentifierKey));
  if (entry.underlying) expectedKeys.insert(std::string(fnd::NSUnderlyingErrorKey));
  std::set<std::string> keys;
  for (const auto& key : error.userInfo()->allKeys()) keys.insert(*key.stringValue());
  EXPECT_EQ(keys, expectedKeys);
}

AFXStringTable shippedTable() {
  const auto& bundle = AFXKorviaInterfaceBundle();
  const auto path = bundle ? bundle->pathForResource("Localizable", "strings") : std::nullopt;
  return path ? AFXStringTable::tableAtPath(*path) : AFXStringTable();
}

TEST_P(CatalogueTest, TextsHaveEntriesInTheShippedStringTable) {
  const auto table = shippedTable();
  ASSERT_GT(table.count(), 0u);
  const CatalogueEntry& entry = GetParam();
  std::vector<std::string> texts = entry.recoveryOptions;
  // Texts with arguments are looked up before formatting (checked below).
  if (entry.code != -401010 && entry.code != -401044) {
    if (entry.description) texts.push_back(*entry.description);
    if (entry.recoverySuggestion) texts.push_back(*entry.recoverySuggestion);
  }
  for (const auto& text : texts) EXPECT_TRUE(table.containsKey(text)) << text;
}

TEST(CatalogueTextsTest, TemplatesHaveEntriesInTheShippedStringTable) {
  const auto table = shippedTable();
  for (const char* text : {"This copy of %@ requires an active Korvia account installed on your Mac.",
                           "Download and install Korvia to use %@ and discover even more awesome applications.",
                           "This application requires macOS %@ or later to work on your computer. Currently you "
                           "have macOS %@."}) {
    EXPECT_TRUE(table.containsKey(text)) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryConstructor, CatalogueTest, ::testing::ValuesIn(catalogue()),
                         [](const ::testing::TestParamInfo<CatalogueEntry>& entry) {
                           std::string name;
                           for (char c : entry.param.constructor) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name.push_back(c);
                           }
                           return name + "_" + std::to_string(entry.index);
                         });

TEST(CatalogueTextsTest, SystemIntegrityErrorNamesTheRunningApplication) {
  const std::string name = std::filesystem::read_symlink("/proc/self/exe").filename().string();
  const Error error = afx_makeSystemIntegrityViolatedOnAction("ping", std::nullopt);
  EXPECT_EQ(error.localizedDescription(),
            "This copy of " + name + " requires an active Korvia account installed on your Mac.");
  EXPECT_EQ(error.localizedRecoverySuggestion(),
            "Download and install Korvia to use " + name + " and discover even more awesome applications.");
}

TEST(CatalogueTextsTest, ConstructorsLogAsDocumented) {
  afx_test::LogCapture log;
  (void)afx_makeFailedInstallOfAgentNamed("agent", "load", std::nullopt);
  (void)afx_makeUnknownNetworkErrorWithUnderlyingError(kUnderlying);
  (void)afx_makeErrorOfMissingServiceNamed("network service", "web service request");
  (void)afx_makeFailedDiskOperation("copy", std::nullopt);
  (void)afx_makeServerErrorOnOperation("op", std::nullopt);
  (void)afx_makeServerResponseParsingErrorOnOperation("op", std::nullopt);
  (void)afx_makeErrorOfMissingObjectOfKind("Korvia Bundle");
  EXPECT_EQ(log.lines(DDLogFlagError),
            (std::vector<std::string>{
                "Did fail to install agent agent. Failed operation: load. Underlying error: (null)",
                "Unknown network error encountered " + kUnderlying.description(),
                "Service network service is missing. Was required for web service request",
                "Internal file operation copy faile with error (null)",
                "Server error on op with underlying error (null)",
                "Server response parsing error on op with underlying error (null)",
            }));
  EXPECT_EQ(log.lines(DDLogFlagInfo), std::vector<std::string>{"Object Korvia Bundle is missing"});
}

TEST(CatalogueDeathTest, TestErrorIsUnreachable) { EXPECT_DEATH((void)afx_makeTestError(), "We should not get here"); }

TEST(CatalogueDeathTest, VersionErrorNeedsAVersionRecord) {
  EXPECT_DEATH((void)afx_incompatibleAppVersion(*fnd::String::make("15.0"), "12.0"),
               "Invalid parameter not satisfying");
}

// Recovery of the errors that offer to download the desktop client.
class DownloadRecoveryTest : public ::testing::TestWithParam<std::function<Error()>> {};

TEST_P(DownloadRecoveryTest, FirstOptionOpensTheDownloadPage) {
  afx_test::RecordingOpener opener;
  const Error error = GetParam()();
  EXPECT_EQ(recoverWithIndexOfOption(error, 0), std::nullopt);
  const auto opened = opener.waitForOpened(1);
  ASSERT_EQ(opened.size(), 1u);
  const auto url = fnd::URL::URLWithString(opened.front());
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(url->path(), "/download-desktop-client");
}

TEST_P(DownloadRecoveryTest, CancelOpensNothing) {
  afx_test::RecordingOpener opener;
  EXPECT_EQ(recoverWithIndexOfOption(GetParam()(), 1), std::nullopt);
  // Whatever the recovery started was started before the sentinel.
  auto sentinel = fnd::Workspace::launchOpenerForURL(*fnd::URL::URLWithString("https://sentinel.test/"));
  ASSERT_TRUE(sentinel);
  (void)(*sentinel)->waitUntilExit();
  EXPECT_EQ(opener.opened(), std::vector<std::string>{"https://sentinel.test/"});
}

INSTANTIATE_TEST_SUITE_P(DesktopClientErrors, DownloadRecoveryTest,
                         ::testing::Values([] { return afx_missingDesktopClient(); },
                                           [] { return afx_corruptedDesktopClient(); },
                                           [] { return afx_oldDesktopClient(); }));

// Quitting flushes the log, which needs the worker threads a forked child
// lacks: these children start afresh.
TEST(SystemIntegrityRecoveryDeathTest, LearnMoreOpensTheDownloadPageAndQuits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  afx_test::RecordingOpener opener;
  const Error error = afx_makeSystemIntegrityViolatedOnAction("ping", std::nullopt);
  EXPECT_EXIT((void)recoverWithIndexOfOption(error, 0), ::testing::ExitedWithCode(0), "");
  const auto opened = opener.waitForOpened(1);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(fnd::URL::URLWithString(opened.front())->path(), "/download-desktop-client");
}

TEST(SystemIntegrityRecoveryDeathTest, QuitOnlyQuits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  afx_test::RecordingOpener opener;
  const Error error = afx_makeSystemIntegrityViolatedOnAction("ping", std::nullopt);
  EXPECT_EXIT((void)recoverWithIndexOfOption(error, 1), ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(opener.opened().empty());
}

// Predicates.

Error defaultError(std::int64_t code) { return Error(AFXDefaultErrorDomain, code, nullptr); }

Error wrapping(std::string_view domain, std::int64_t code, const Error& underlying) {
  return Error(domain, code, {{Value(fnd::NSUnderlyingErrorKey), Value(underlying)}});
}

struct PredicateCase {
  std::string name;
  bool (*predicate)(const Error&);
  std::vector<Error> matching;
  std::vector<Error> others;
};

// Built when a test runs, not while tests are registered: the constructors
// log and read the string table.
std::vector<PredicateCase> predicateCases() {
  const Error urlCancelled(fnd::NSURLErrorDomain, fnd::NSURLErrorCancelled, nullptr);
  const std::vector<std::int64_t> httpCodes = {-401400, -401402, -401403, -401404, -401409, -401410, -401424};
  std::vector<Error> http;
  for (auto code : httpCodes) http.push_back(defaultError(code));
  std::vector<Error> customer = http;
  for (auto code : {-401081, -401082, -401083, -401084, -401085, -401088}) customer.push_back(defaultError(code));
  std::vector<Error> presentable;
  for (auto code :
       {-401001, -401010, -401012, -401014, -401015, -401042, -401044, -401086, -401103, -401410, -401500, -401540}) {
    presentable.push_back(defaultError(code));
  }
  return {
      {"isCancelled",
       afx_isCancelled,
       {afx_cancel(), urlCancelled},
       {Error(fnd::NSPOSIXErrorDomain, fnd::NSURLErrorCancelled, nullptr), defaultError(-999),
        Error(fnd::NSURLErrorDomain, -401005, nullptr), afx_makeNetworkErrorWithUnderlyingError(urlCancelled),
        wrapping(fnd::NSURLErrorDomain, fnd::NSURLErrorTimedOut, afx_cancel())}},
      {"isMissingService",
       afx_isMissingService,
       {afx_makeErrorOfMissingServiceNamed("s", "p")},
       {defaultError(-401003), Error(fnd::NSCocoaErrorDomain, -401002, nullptr),
        wrapping("com.korvia.other", 1, defaultError(-401002))}},
      {"isMissingObject",
       afx_isMissingObject,
       {afx_makeErrorOfMissingObjectOfKind("k")},
       {defaultError(-401002), Error(fnd::NSPOSIXErrorDomain, -401003, nullptr)}},
      {"isInvalidMachine",
       afx_isInvalidMachine,
       {afx_invalidMachine()},
       {defaultError(-401082), wrapping(fnd::NSCocoaErrorDomain, 4, afx_invalidMachine())}},
      {"isInvalidToken",
       afx_isInvalidToken,
       {defaultError(-401082), afx_customerError(defaultError(-401404))},
       {defaultError(-401404), defaultError(-401086), Error(fnd::NSURLErrorDomain, -401082, nullptr)}},
      {"isHTTPClientError",
       afx_isHTTPClientError,
       http,
       {defaultError(-401401), defaultError(-401405), defaultError(-401500), defaultError(-401081),
        Error(fnd::NSURLErrorDomain, -401404, nullptr), wrapping(fnd::NSURLErrorDomain, -1, defaultError(-401404))}},
      {"isCustomerError",
       afx_isCustomerError,
       customer,
       {defaultError(-401086), defaultError(-401087), defaultError(-401401), defaultError(-401540),
        Error(fnd::NSCocoaErrorDomain, -401081, nullptr)}},
      {"isUserPresentableError",
       afx_isUserPresentableError,
       presentable,
       {afx_cancel(), defaultError(-401011), defaultError(-401400), defaultError(-401082),
        Error(fnd::NSURLErrorDomain, fnd::NSURLErrorNotConnectedToInternet, nullptr),
        wrapping(fnd::NSURLErrorDomain, -1, afx_invalidMachine())}},
  };
}

TEST(PredicateTest, EachMatchesOnlyItsErrors) {
  for (const auto& testCase : predicateCases()) {
    for (const auto& error : testCase.matching) {
      EXPECT_TRUE(testCase.predicate(error)) << testCase.name << " " << error.description();
    }
    for (const auto& error : testCase.others) {
      EXPECT_FALSE(testCase.predicate(error)) << testCase.name << " " << error.description();
    }
  }
}

TEST(CustomerErrorTest, MapsHTTPClientErrorsKeepingTheirUserInformation) {
  const std::pair<std::int64_t, std::int64_t> mapping[] = {{-401400, -401081}, {-401404, -401082}, {-401403, -401083},
                                                           {-401424, -401084}, {-401402, -401085}, {-401409, -401088}};
  for (const auto& [http, customer] : mapping) {
    const Error error(AFXDefaultErrorDomain, http,
                      {{Value(QVErrorAccessibilityIdentifierKey), Value("error.server-error")}});
    const Error mapped = afx_customerError(error);
    EXPECT_TRUE(mapped.is(AFXDefaultErrorDomain, customer)) << http;
    EXPECT_EQ(mapped.userInfo(), error.userInfo());
  }
}

TEST(CustomerErrorTest, LeavesEveryOtherErrorAsItIs) {
  for (const Error& error : {defaultError(-401401), defaultError(-401405), defaultError(-401410), defaultError(-401086),
                             defaultError(-401082), Error(fnd::NSPOSIXErrorDomain, ECONNRESET, nullptr),
                             Error(fnd::NSURLErrorDomain, -401404, nullptr)}) {
    EXPECT_EQ(afx_customerError(error), error);
  }
}

}  // namespace
