// The tracker against a sink that records what it is handed: the standard
// fields, the screens and modal screens, the deferred queue kept in the
// preferences, the switches that stop tracking, and newly raised health
// issues.

#include "interface/analytics/afx_analytics_tracker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/null.h"
#include "foundation/uuid.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

struct HandedEvent {
  std::string appName;
  std::string appVersion;
  std::shared_ptr<fnd::Dictionary> fields;

  std::vector<std::string> keys() const {
    std::vector<std::string> keys;
    for (const auto& [key, _] : fields->entries()) keys.push_back(key.stringValue().value_or(""));
    return keys;
  }
  std::string text(std::string_view key) const { return fields->objectForKey(key).stringValue().value_or("<none>"); }
};

class RecordingSink final : public AFXAnalyticsEventSink {
 public:
  void setAppVersion(std::string version) override {
    std::lock_guard lock(mutex_);
    version_ = std::move(version);
  }
  void setAppName(std::string name) override {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
  }
  void trackEventWithParameters(const std::shared_ptr<fnd::Dictionary>& fields) override {
    std::lock_guard lock(mutex_);
    events_.push_back({name_, version_, fields});
  }
  std::vector<HandedEvent> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  mutable std::mutex mutex_;
  std::string name_;
  std::string version_;
  std::vector<HandedEvent> events_;
};

class FakeMonitors final : public AFXMonitorsCoordinator {
 public:
  void addObserver(std::weak_ptr<AFXMonitorsCoordinatorObserver> observer) override { observer_ = std::move(observer); }
  void change(std::optional<AFXHealthIssues> oldIssues, std::optional<AFXHealthIssues> newIssues) {
    if (auto observer = observer_.lock()) observer->monitorsCoordinatorActiveIssuesDidChange(oldIssues, newIssues);
  }

 private:
  std::weak_ptr<AFXMonitorsCoordinatorObserver> observer_;
};

std::shared_ptr<fnd::Dictionary> fields(std::vector<fnd::Dictionary::Entry> entries) {
  return fnd::Dictionary::make(std::move(entries));
}

class AFXAnalyticsTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.set("XDG_CONFIG_HOME", sandbox_.root() + "/home/.config");
    defaults_ = fnd::UserDefaults::create("com.korvia.tests.tracker");
    ASSERT_TRUE(defaults_);
    bundle_ = makeBundle("com.korvia.KorviaInstaller", "412b3");
  }

  std::shared_ptr<fnd::Bundle> makeBundle(const std::string& identifier, const std::string& version) {
    const std::string path = sandbox_.root() + "/work/" + identifier + ".app";
    const std::string contents = path + "/Contents";
    std::filesystem::create_directories(contents);
    std::ofstream(contents + "/Info.plist")
        << ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                               "<key>CFBundleIdentifier</key><string>" + identifier + "</string>"
                               "<key>CFBundleVersion</key><string>" + version + "</string></dict></plist>");
    auto bundle = fnd::Bundle::bundleWithPath(path);
    EXPECT_TRUE(bundle);
    return bundle;
  }

  std::shared_ptr<AFXAnalyticsTracker> makeTracker(std::string identifier = "com.korvia.KorviaInstaller") {
    AFXAnalyticsTracker::Parts parts;
    parts.dataHub = sink_;
    parts.userDefaults = defaults_;
    parts.mainBundle = bundle_;
    parts.monitorsCoordinator = monitors_;
    return AFXAnalyticsTracker::initWithApplicationName("Korvia Installer&Co", std::move(identifier), parts);
  }
  // Every call made so far has reached the sink.
  std::vector<HandedEvent> handed(const std::shared_ptr<AFXAnalyticsTracker>& tracker) const {
    tracker->internalQueue().sync([] {});
    return sink_->events();
  }

  unarchiver_test::Sandbox sandbox_;
  std::shared_ptr<fnd::UserDefaults> defaults_;
  std::shared_ptr<fnd::Bundle> bundle_;
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  std::shared_ptr<FakeMonitors> monitors_ = std::make_shared<FakeMonitors>();
};

TEST_F(AFXAnalyticsTrackerTest, EventsGetHitTypeScreenAndSessionAndLoseNullFields) {
  auto tracker = makeTracker();
  tracker->trackView(std::string("Welcome"));
  tracker->trackEventWithParameters(
      fields({{fnd::Value("ec"), fnd::Value("Install")}, {fnd::Value("el"), fnd::Value(fnd::Null::null())}}));
  tracker->trackTimingWithParameters(fields({{fnd::Value("ec"), fnd::Value("Download")}}));
  const auto events = handed(tracker);
  ASSERT_EQ(events.size(), 3u);

  EXPECT_EQ(events[1].keys(), (std::vector<std::string>{"ec", "t", "cd", "uid"}));
  EXPECT_EQ(events[1].text("t"), "event");
  EXPECT_EQ(events[1].text("cd"), "Welcome");
  EXPECT_EQ(events[1].text("uid"), tracker->sessionIdentifier());
  // Timings carry no screen.
  EXPECT_EQ(events[2].keys(), (std::vector<std::string>{"ec", "t", "uid"}));
  EXPECT_EQ(events[2].text("t"), "timing");

  EXPECT_EQ(events[1].appName, "Korvia%20Installer%26Co");
  EXPECT_EQ(events[1].appVersion, "412b3");
  EXPECT_TRUE(tracker->isBeta());
}

TEST_F(AFXAnalyticsTrackerTest, CallerFieldsWinAndViewsSendExactlyTwoFields) {
  auto tracker = makeTracker();
  tracker->trackView(std::nullopt);
  tracker->trackModalView("Sign In");
  tracker->trackEventWithParameters(fields({{fnd::Value("cd"), fnd::Value("Mine")}, {fnd::Value("uid"), fnd::Value("me")}}));
  tracker->trackEventWithParameters(fields({}));
  const auto events = handed(tracker);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].keys(), (std::vector<std::string>{"t", "cd"}));
  EXPECT_EQ(events[0].text("t"), "appview");
  EXPECT_EQ(events[0].text("cd"), "");
  EXPECT_EQ(events[1].keys(), (std::vector<std::string>{"t", "cd"}));
  EXPECT_EQ(events[1].text("cd"), "Sign In");
  EXPECT_EQ(events[2].text("cd"), "Mine");
  EXPECT_EQ(events[2].text("uid"), "me");
  // The top modal screen is the screen of an event that names none.
  EXPECT_EQ(events[3].text("cd"), "Sign In");
}

TEST_F(AFXAnalyticsTrackerTest, ModalScreensStackAndReturnToTheCurrentScreen) {
  auto tracker = makeTracker();
  tracker->trackView(std::string("Welcome"));
  tracker->trackModalView("Alert");
  tracker->trackModalView("Alert");  // Already shown: not sent again.
  tracker->switchToModalView("Confirm");
  EXPECT_EQ(tracker->modalScreens(), std::vector<std::string>{"Confirm"});
  tracker->trackModalView("Details");
  EXPECT_EQ(tracker->modalScreens(), (std::vector<std::string>{"Details", "Confirm"}));
  tracker->stopTrackingModalView();
  tracker->trackEventWithParameters(fields({}));
  tracker->stopTrackingModalView();
  tracker->stopTrackingModalView();  // Nothing left to pop.

  const auto events = handed(tracker);
  std::vector<std::string> screens;
  for (const auto& event : events) screens.push_back(event.text("t") + ":" + event.text("cd"));
  EXPECT_EQ(screens, (std::vector<std::string>{"appview:Welcome", "appview:Alert", "appview:Details", "event:Confirm",
                                               "appview:Welcome"}));
  EXPECT_TRUE(tracker->modalScreens().empty());
  EXPECT_EQ(tracker->currentScreen(), "Welcome");
}

TEST_F(AFXAnalyticsTrackerTest, SwitchOnEmptyStackPushesAndSendsNothing) {
  auto tracker = makeTracker();
  tracker->switchToModalView("Progress");
  EXPECT_EQ(tracker->modalScreens(), std::vector<std::string>{"Progress"});
  EXPECT_TRUE(handed(tracker).empty());
}

TEST_F(AFXAnalyticsTrackerTest, DeferredEventsAreSentInOrderAndTheQueueEmptied) {
  auto tracker = makeTracker();
  for (const char* label : {"one", "two", "three"}) tracker->deferEventWithParameters(fields({{fnd::Value("el"), fnd::Value(label)}}));
  EXPECT_TRUE(handed(tracker).empty());
  auto stored = defaults_->arrayForKey(AFXAnalyticsTrackerDeferredQueueKey);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->count(), 3u);

  // The queue outlives the tracker: a new one sends what the old one kept.
  tracker = makeTracker();
  tracker->sendDeferredEvents();
  const auto events = handed(tracker);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].text("el"), "one");
  EXPECT_EQ(events[1].text("el"), "two");
  EXPECT_EQ(events[2].text("el"), "three");
  EXPECT_EQ(events[2].text("t"), "event");
  EXPECT_FALSE(defaults_->arrayForKey(AFXAnalyticsTrackerDeferredQueueKey));

  tracker->deferEventWithParameters(fields({{fnd::Value("el"), fnd::Value("dropped")}}));
  tracker->internalQueue().sync([] {});
  tracker->cancelDeferredEvents();
  tracker->sendDeferredEvents();
  EXPECT_EQ(handed(tracker).size(), 3u);
}

TEST_F(AFXAnalyticsTrackerTest, SessionIdentifierIsKeptAcrossRestarts) {
  const std::string first = makeTracker()->sessionIdentifier();
  EXPECT_TRUE(fnd::UUID::makeWithString(first));
  EXPECT_EQ(makeTracker()->sessionIdentifier(), first);
  EXPECT_EQ(defaults_->stringForKey(AFXAnalyticsSessionIdentifierKey), first);
}

TEST_F(AFXAnalyticsTrackerTest, SwitchedOffByPreferenceUntilEnabled) {
  ASSERT_TRUE(defaults_->setBool(false, AFXAnalyticsSendProfileInfoKey));
  auto tracker = makeTracker();
  EXPECT_FALSE(tracker->enabled());
  tracker->trackView(std::string("Welcome"));
  tracker->trackEventWithParameters(fields({}));
  EXPECT_TRUE(handed(tracker).empty());
  // The screen is still followed while nothing is sent.
  EXPECT_EQ(tracker->currentScreen(), "Welcome");

  tracker->setEnabled(true);
  tracker->trackEventWithParameters(fields({}));
  ASSERT_EQ(handed(tracker).size(), 1u);
  EXPECT_EQ(handed(tracker)[0].text("cd"), "Welcome");
}

TEST_F(AFXAnalyticsTrackerTest, AnotherApplicationsSettingsAreRead) {
  auto other = fnd::UserDefaults::create("com.korvia.DesktopClient");
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->setBool(false, AFXAnalyticsRemoteUsageTrackingKey));
  EXPECT_TRUE(makeTracker()->enabled());
  EXPECT_FALSE(makeTracker("com.korvia.DesktopClient")->enabled());
}

TEST_F(AFXAnalyticsTrackerTest, NewHealthIssuesWithAnalyticsIdentifiersAreReported) {
  auto tracker = makeTracker();
  const AFXHealthIssue disk{"disk", "low_disk_space"};
  const AFXHealthIssue network{"network", "no_network"};
  const AFXHealthIssue silent{"silent", std::nullopt};
  monitors_->change(std::nullopt, AFXHealthIssues{disk});       // Unknown before: nothing.
  monitors_->change(AFXHealthIssues{disk}, AFXHealthIssues{disk});  // Unchanged: nothing.
  monitors_->change(AFXHealthIssues{disk}, AFXHealthIssues{disk, network, silent});
  const auto events = handed(tracker);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].text("ec"), "Dashboard");
  EXPECT_EQ(events[0].text("ea"), "First Launch Health");
  EXPECT_EQ(events[0].text("el"), "no_network");
  EXPECT_EQ(events[0].fields->objectForKey("ev").integerValue(), 1);
}

TEST(AFXAnalyticsTrackerNameTest, NameIsEscapedForAURL) {
  using afx_analytics_detail::escapedApplicationName;
  EXPECT_EQ(escapedApplicationName("KorviaInstaller"), "KorviaInstaller");
  EXPECT_EQ(escapedApplicationName("A&B c"), "A%26B%20c");
  EXPECT_EQ(escapedApplicationName("Zeit\xC3\xBC/1?x=y"), "Zeit%C3%BC/1?x=y");
  EXPECT_EQ(escapedApplicationName("100%"), "100%25");
}

}  // namespace
