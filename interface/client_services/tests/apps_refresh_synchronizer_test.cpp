// Several synchronizers, as several processes would hold them, on one
// session bus and one set of shared preferences.

#include "interface/client_services/afx_apps_refresh_synchronizer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "foundation/clock.h"
#include "foundation/file_manager.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "interface/errors/afx_network_response.h"

namespace {

using fnd::ipc::testing::Inbox;

// The shared preferences are made once per process, so the whole binary
// keeps one folder for them.
class SharedPreferencesFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-refresh-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    folder_ = pattern;
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::string folder_;
};
const ::testing::Environment* const kFolder = ::testing::AddGlobalTestEnvironment(new SharedPreferencesFolder);

std::shared_ptr<AFXEnvironmentID> environment(const std::string& name) {
  return AFXManifestURLBasedEnvironmentID::initWithManifestURL(fnd::URL::URLWithString("https://" + name + ".test/m"));
}

std::string uniqueName(const char* what) {
  static std::atomic<int> counter{0};
  return std::string(what) + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

struct Watched {
  std::shared_ptr<AFXAppsRefreshSynchronizer> synchronizer;
  std::shared_ptr<Inbox<std::string>> changes = std::make_shared<Inbox<std::string>>();
};

Watched watch(const std::shared_ptr<AFXEnvironmentID>& environmentID) {
  Watched watched{AFXAppsRefreshSynchronizer::initWithEnvironmentID(environmentID)};
  watched.synchronizer->addObserver([changes = watched.changes, weak = std::weak_ptr(watched.synchronizer)](
                                        std::string_view name) {
    auto synchronizer = weak.lock();
    // Observers may read the properties.
    const bool value = name == "appsRefreshInProgress" ? synchronizer->appsRefreshInProgress()
                       : name == "userInitiatedAppsRefreshInProgress" ? synchronizer->userInitiatedAppsRefreshInProgress()
                       : name == "allowedAutomaticRefresh"          ? synchronizer->allowedAutomaticRefresh()
                                                                    : synchronizer->lastRefreshDate() != nullptr;
    changes->put(std::string(name) + "=" + (value ? "yes" : "no"));
  });
  return watched;
}

bool sawChange(const Watched& watched, const std::string& change) {
  for (int i = 0; i < 200; ++i) {
    for (const auto& item : watched.changes->items()) {
      if (item == change) return true;
    }
    watched.changes->waitForCount(watched.changes->size() + 1, std::chrono::milliseconds(25));
  }
  return false;
}

class AppsRefreshSynchronizerTest : public ::testing::Test {
 protected:
  void SetUp() override { FND_REQUIRE_SESSION_BUS(); }
};

TEST_F(AppsRefreshSynchronizerTest, ASessionIsSeenByEveryHolderOfItsEnvironmentOnly) {
  const auto alpha = environment(uniqueName("alpha"));
  auto mine = watch(alpha);
  auto theirs = watch(alpha);
  auto other = watch(environment(uniqueName("beta")));
  const std::string session = uniqueName("session");

  mine.synchronizer->willStartAppsRefreshWithID(session, AFXAppsRefreshReasonByUser);
  for (const Watched* watched : {&mine, &theirs}) {
    EXPECT_TRUE(sawChange(*watched, "appsRefreshInProgress=yes"));
    EXPECT_TRUE(sawChange(*watched, "userInitiatedAppsRefreshInProgress=yes"));
  }
  EXPECT_EQ(theirs.synchronizer->activeRefreshSessionsWithReason(AFXAppsRefreshReasonByUser).size(), 1u);
  EXPECT_TRUE(theirs.synchronizer->activeRefreshSessionsWithReason(AFXAppsRefreshReasonScheduled).empty());

  mine.synchronizer->didEndAppsRefreshWithID(session, AFXAppsRefreshReasonByUser, true);
  EXPECT_TRUE(sawChange(theirs, "appsRefreshInProgress=no"));
  EXPECT_TRUE(sawChange(theirs, "lastRefreshDate=yes"));
  EXPECT_TRUE(theirs.synchronizer->lastRefreshDate());
  // The other environment heard nothing and has no date.
  EXPECT_TRUE(other.changes->items().empty());
  EXPECT_FALSE(other.synchronizer->appsRefreshInProgress());
  EXPECT_FALSE(other.synchronizer->lastRefreshDate());
}

TEST_F(AppsRefreshSynchronizerTest, TheAutomaticSwitchChangesWhenItsAnnouncementComesBack) {
  auto watched = watch(environment(uniqueName("switch")));
  ASSERT_TRUE(watched.synchronizer->allowedAutomaticRefresh());
  // Switched off from inside a notification, where the switch's own
  // announcement cannot have been handled yet: the old value still holds.
  auto readRightAfter = std::make_shared<Inbox<bool>>();
  watched.synchronizer->addObserver([readRightAfter, weak = std::weak_ptr(watched.synchronizer)](std::string_view name) {
    if (name != "lastRefreshDate") return;
    auto synchronizer = weak.lock();
    synchronizer->setAllowedAutomaticRefresh(false);
    readRightAfter->put(synchronizer->allowedAutomaticRefresh());
  });
  watched.synchronizer->updateLastRefreshDate();
  auto before = readRightAfter->first();
  ASSERT_TRUE(before);
  EXPECT_TRUE(*before);
  EXPECT_TRUE(sawChange(watched, "allowedAutomaticRefresh=no"));
  EXPECT_FALSE(watched.synchronizer->allowedAutomaticRefresh());
  // A second holder made now reads the stored switch.
  EXPECT_FALSE(AFXAppsRefreshSynchronizer::initWithEnvironmentID(watched.synchronizer->environmentID())
                   ->allowedAutomaticRefresh());
  watched.synchronizer->setAllowedAutomaticRefresh(true);
  EXPECT_TRUE(sawChange(watched, "allowedAutomaticRefresh=yes"));
}

TEST_F(AppsRefreshSynchronizerTest, ASessionNeverEndedStopsCountingAfterFiveMinutesAndIsRemoved) {
  fnd::ManualClock clock;
  fnd::ScopedClockOverride overrideClock(clock);
  clock.setWallNow(fnd::Clock::WallTimePoint(std::chrono::hours(24 * 365 * 50)));
  auto watched = watch(environment(uniqueName("stale")));
  const std::string session = uniqueName("forgotten");
  watched.synchronizer->willStartAppsRefreshWithID(session, AFXAppsRefreshReasonScheduled);
  EXPECT_TRUE(sawChange(watched, "appsRefreshInProgress=yes"));
  EXPECT_FALSE(watched.synchronizer->userInitiatedAppsRefreshInProgress());

  clock.setWallNow(clock.wallNow() + std::chrono::seconds(299));
  EXPECT_EQ(watched.synchronizer->activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny).size(), 1u);
  clock.setWallNow(clock.wallNow() + std::chrono::seconds(2));
  EXPECT_TRUE(watched.synchronizer->activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny).empty());
  // The query that found it stale deletes it in the background.
  const std::string key = std::to_string(watched.synchronizer->environmentID()->hash()) + "-" +
                          AFXAppsRefreshSynchronizer::sessionKeyPrefixForReason(AFXAppsRefreshReasonScheduled) + session;
  bool removed = false;
  for (int i = 0; i < 200 && !removed; ++i) {
    (void)AFXDesktopClientSharedUserDefaults()->synchronize();
    removed = AFXDesktopClientSharedUserDefaults()->objectForKey(key).isNil();
    if (!removed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(removed);

  // Clearing forgets live sessions of every reason, of this environment only.
  auto other = watch(environment(uniqueName("kept")));
  other.synchronizer->willStartAppsRefreshWithID("kept", AFXAppsRefreshReasonInternal);
  watched.synchronizer->willStartAppsRefreshWithID("a", AFXAppsRefreshReasonInternal);
  watched.synchronizer->willStartAppsRefreshWithID("b", AFXAppsRefreshReasonByUser);
  EXPECT_EQ(watched.synchronizer->activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny).size(), 2u);
  watched.synchronizer->clearAllActiveRefreshSessions();
  EXPECT_TRUE(watched.synchronizer->activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny).empty());
  EXPECT_EQ(other.synchronizer->activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny).size(), 1u);
}

}  // namespace
