#include "foundation/user_defaults.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/error.h"
#include "foundation/number.h"
#include "foundation/process.h"
#include "foundation/property_list.h"
#include "foundation/sqlite_database.h"
#include "foundation/string.h"
#include "foundation/url.h"

namespace fnd {
namespace {

constexpr int kWritesPerWriter = 150;
constexpr const char* kChildVariable = "KORVIA_DEFAULTS_TEST_WRITER";

// Points the preferences folder at a fresh temporary one for each test.
class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvia-defaults-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    previous_ = previous ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  void TearDown() override {
    if (previous_) {
      ::setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    std::filesystem::remove_all(root_);
  }

  std::string databasePath(const std::string& domain) const {
    return root_ + "/korvia-defaults/" + domain + ".sqlite";
  }

  std::string root_;
  std::optional<std::string> previous_;
};

TEST_F(UserDefaultsTest, StoresPropertyListValuesInTheDomainDatabase) {
  auto defaults = UserDefaults::create("com.korvia.test.values");
  ASSERT_TRUE(defaults);
  EXPECT_FALSE(std::filesystem::exists(databasePath("com.korvia.test.values")));  // reading creates nothing
  EXPECT_TRUE(defaults->objectForKey("missing").isNil());

  ASSERT_TRUE(defaults->setBool(true, "flag"));
  ASSERT_TRUE(defaults->setInteger(-42, "count"));
  ASSERT_TRUE(defaults->setDouble(2.5, "ratio"));
  ASSERT_TRUE(defaults->setObject(Value("text"), "name"));
  ASSERT_TRUE(defaults->setObject(Value(Data::make(std::string_view("\x00\xFF", 2))), "blob"));
  ASSERT_TRUE(defaults->setObject(Value(Dictionary::make({{Value("k"), Value(Array::make({Value(1), Value("two")}))}})),
                                  "tree"));

  EXPECT_TRUE(defaults->boolForKey("flag"));
  EXPECT_EQ(defaults->integerForKey("count"), -42);
  EXPECT_EQ(defaults->doubleForKey("ratio"), 2.5);
  EXPECT_EQ(defaults->stringForKey("name"), "text");
  ASSERT_TRUE(defaults->dataForKey("blob"));
  EXPECT_EQ(defaults->dataForKey("blob")->length(), 2u);
  ASSERT_TRUE(defaults->dictionaryForKey("tree"));
  EXPECT_EQ(defaults->dictionaryForKey("tree")->objectForKey("k").as<Array>()->count(), 2u);
  EXPECT_FALSE(defaults->arrayForKey("tree"));

  // The rows are on disk as binary property lists, readable by anyone.
  auto db = SQLiteDatabase::open(databasePath("com.korvia.test.values"), SQLiteDatabase::OpenMode::readOnly);
  ASSERT_TRUE(db);
  auto row = (*db)->prepare("SELECT value FROM defaults WHERE key = 'count'");
  ASSERT_TRUE(row);
  ASSERT_TRUE(row->step().valueOr(false));
  PropertyListFormat format = PropertyListFormat::xml;
  auto stored = PropertyListSerialization::propertyListWithData(row->columnBlob(0), &format);
  ASSERT_TRUE(stored);
  EXPECT_EQ(format, PropertyListFormat::binary);
  EXPECT_EQ(stored->integerValue(), -42);

  ASSERT_TRUE(defaults->removeObjectForKey("count"));
  EXPECT_TRUE(defaults->objectForKey("count").isNil());
  EXPECT_EQ(defaults->integerForKey("count"), 0);
}

TEST_F(UserDefaultsTest, RejectsValuesThatAreNotPropertyListsAndKeepsTheOldOne) {
  auto defaults = UserDefaults::create("com.korvia.test.invalid");
  ASSERT_TRUE(defaults->setObject(Value("kept"), "key"));
  auto url = URL::URLWithString("https://example.invalid/");
  auto rejected = defaults->setObject(Value(url), "key");
  ASSERT_FALSE(rejected);
  EXPECT_TRUE(rejected.error().is(NSCocoaErrorDomain, 3852));
  EXPECT_EQ(defaults->stringForKey("key"), "kept");
}

TEST_F(UserDefaultsTest, SearchesOwnDomainThenSuitesThenRegistration) {
  auto shared = UserDefaults::create("com.korvia.test.shared");
  ASSERT_TRUE(shared->setObject(Value("from suite"), "both"));
  ASSERT_TRUE(shared->setObject(Value("suite only"), "suite"));

  auto own = UserDefaults::create("com.korvia.test.own");
  own->addSuiteNamed("com.korvia.test.shared");
  own->registerDefaults(*Dictionary::make({{Value("both"), Value("registered")},
                                           {Value("registered"), Value(true)}}));
  ASSERT_TRUE(own->setObject(Value("own"), "both"));

  EXPECT_EQ(own->stringForKey("both"), "own");
  EXPECT_EQ(own->stringForKey("suite"), "suite only");
  EXPECT_TRUE(own->boolForKey("registered"));
  auto everything = own->dictionaryRepresentation();
  EXPECT_EQ(everything->count(), 3u);
  EXPECT_EQ(everything->objectForKey("both").stringValue(), "own");

  ASSERT_TRUE(own->removeObjectForKey("both"));
  EXPECT_EQ(own->stringForKey("both"), "from suite");
  own->removeSuiteNamed("com.korvia.test.shared");
  EXPECT_EQ(own->stringForKey("both"), "registered");
  // Writing never touched the suite.
  EXPECT_EQ(UserDefaults::persistentDomainForName("com.korvia.test.shared")->count(), 2u);
}

TEST_F(UserDefaultsTest, TypedGettersReadTextAndNumbersAsThePlatformDoes) {
  auto defaults = UserDefaults::create("com.korvia.test.typed");
  ASSERT_TRUE(defaults->setObject(Value("YES"), "yes"));
  ASSERT_TRUE(defaults->setObject(Value("NO"), "no"));
  ASSERT_TRUE(defaults->setObject(Value("17"), "digits"));
  ASSERT_TRUE(defaults->setObject(Value("2.75"), "real"));
  ASSERT_TRUE(defaults->setObject(Value("words"), "words"));
  ASSERT_TRUE(defaults->setInteger(5, "five"));
  EXPECT_TRUE(defaults->boolForKey("yes"));
  EXPECT_FALSE(defaults->boolForKey("no"));
  EXPECT_TRUE(defaults->boolForKey("digits"));
  EXPECT_FALSE(defaults->boolForKey("words"));
  EXPECT_EQ(defaults->integerForKey("digits"), 17);
  EXPECT_EQ(defaults->integerForKey("real"), 2);
  EXPECT_EQ(defaults->integerForKey("words"), 0);
  EXPECT_EQ(defaults->doubleForKey("real"), 2.75);
  EXPECT_EQ(defaults->stringForKey("five"), "5");
  EXPECT_EQ(defaults->stringForKey("missing"), std::nullopt);
}

TEST_F(UserDefaultsTest, DomainNamesMustBeSafeFileNames) {
  for (const char* bad : {"", ".", "..", "../escape", "a/b", ".hidden", "spaces in name", "nul\x01"}) {
    EXPECT_FALSE(UserDefaults::create(bad)) << bad;
    EXPECT_EQ(UserDefaults::persistentDomainForName(bad)->count(), 0u) << bad;
  }
  EXPECT_TRUE(UserDefaults::create("com.korvia.DesktopClient"));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/escape.sqlite"));
}

TEST_F(UserDefaultsTest, SeesCommitsOfOtherConnectionsWithoutReopening) {
  auto defaults = UserDefaults::create("com.korvia.test.foreign");
  ASSERT_TRUE(defaults->setInteger(1, "value"));
  EXPECT_EQ(defaults->integerForKey("value"), 1);

  auto other = SQLiteDatabase::open(databasePath("com.korvia.test.foreign"), SQLiteDatabase::OpenMode::readWriteCreate);
  ASSERT_TRUE(other);
  auto blob = PropertyListSerialization::dataWithPropertyList(Value(2), PropertyListFormat::binary);
  ASSERT_TRUE(blob);
  auto update = (*other)->prepare("UPDATE defaults SET value = ?1 WHERE key = 'value'");
  ASSERT_TRUE(update);
  ASSERT_TRUE(update->bind(1, std::span<const std::uint8_t>(*blob)));
  ASSERT_TRUE(update->step());
  EXPECT_EQ(defaults->integerForKey("value"), 2);

  // A damaged row costs that key only.
  ASSERT_TRUE((*other)->execute("INSERT INTO defaults (key, value) VALUES ('broken', x'00FF00')"));
  EXPECT_TRUE(defaults->objectForKey("broken").isNil());
  EXPECT_EQ(defaults->integerForKey("value"), 2);
  EXPECT_TRUE(defaults->synchronize());
}

// Run as a child: writes its share of keys, and all writers bump one shared
// key, each through its own process.
TEST(UserDefaultsWriter, WritesItsKeys) {
  const char* writer = std::getenv(kChildVariable);
  if (!writer) GTEST_SKIP() << "only runs as a child of the concurrency test";
  auto defaults = UserDefaults::create("com.korvia.test.hammer");
  ASSERT_TRUE(defaults);
  for (int i = 0; i < kWritesPerWriter; ++i) {
    auto written = defaults->setInteger(i, std::string(writer) + "-" + std::to_string(i));
    ASSERT_TRUE(written) << written.error().description();
    ASSERT_TRUE(defaults->setObject(Value(writer), "last-writer"));
  }
}

TEST_F(UserDefaultsTest, TwoProcessesWritingOneDomainLoseNothing) {
  std::vector<std::shared_ptr<Process>> children;
  for (const char* writer : {"first", "second"}) {
    ProcessLaunchOptions options;
    options.executablePath = "/proc/self/exe";
    options.arguments = {"--gtest_filter=UserDefaultsWriter.WritesItsKeys"};
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
      std::string_view text(*entry);
      const auto equals = text.find('=');
      if (equals != std::string_view::npos) environment.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    environment[kChildVariable] = writer;
    options.environment = std::move(environment);
    options.captureStandardOutput = true;
    auto child = Process::launch(std::move(options));
    ASSERT_TRUE(child) << child.error().description();
    children.push_back(*child);
  }
  // This process writes too, while the children do.
  auto defaults = UserDefaults::create("com.korvia.test.hammer");
  for (int i = 0; i < kWritesPerWriter; ++i) ASSERT_TRUE(defaults->setInteger(i, "parent-" + std::to_string(i)));

  for (auto& child : children) {
    const ProcessTermination termination = child->waitUntilExit();
    ASSERT_EQ(termination.reason, ProcessTerminationReason::exit);
    ASSERT_EQ(termination.status, 0) << std::string(termination.standardOutput.begin(),
                                                    termination.standardOutput.end());
  }
  for (const char* writer : {"first", "second", "parent"}) {
    for (int i = 0; i < kWritesPerWriter; ++i) {
      const std::string key = std::string(writer) + "-" + std::to_string(i);
      ASSERT_EQ(defaults->objectForKey(key).integerValue(), i) << key;
    }
  }
  const auto last = defaults->stringForKey("last-writer");
  EXPECT_TRUE(last == "first" || last == "second");
  EXPECT_EQ(UserDefaults::persistentDomainForName("com.korvia.test.hammer")->count(), 3u * kWritesPerWriter + 1);
}

}  // namespace
}  // namespace fnd
