#include "interface/launchpad/afx_launchpad_watcher.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <set>
#include <utility>
#include <variant>

#include "foundation/check.h"
#include "foundation/search_paths.h"
#include "foundation/sqlite_database.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace {

constexpr std::string_view kDatabaseSuffix = "com.apple.dock.launchpad/db/db";
constexpr std::string_view kUnknownBundleID = "????";
// Items nest a few levels (group, page, app); a longer walk is a cycle in a
// damaged database.
constexpr int kMaximumParentWalk = 64;

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

bool tablePasses(const std::string& table, const std::string& sql) {
  if (table == "items") return contains(sql, "rowid integer primary key") && contains(sql, "parent_id integer");
  if (table == "apps") {
    return contains(sql, "item_id integer primary key") &&
           (contains(sql, "bundleid varchar") || contains(sql, "bundleid text"));
  }
  if (table == "groups") {
    return contains(sql, "item_id integer primary key") && (contains(sql, "title varchar") || contains(sql, "title text"));
  }
  return false;
}

// The first row's integer of a one-parameter query; none when there is no row.
std::optional<std::int64_t> firstInteger(fnd::SQLiteDatabase& database, std::string_view sql,
                                         const std::variant<std::string, std::int64_t>& parameter) {
  auto statement = database.prepare(sql);
  if (!statement) return std::nullopt;
  auto bound = std::holds_alternative<std::string>(parameter) ? statement->bind(1, std::get<std::string>(parameter))
                                                              : statement->bind(1, std::get<std::int64_t>(parameter));
  if (!bound) return std::nullopt;
  auto row = statement->step();
  if (!row || !*row) return std::nullopt;
  return statement->columnInteger(0);
}

// Whether the app's newest item lies inside the group (also inside a page of it).
bool appIsInsideGroup(fnd::SQLiteDatabase& database, const AFXLaunchpadWatchParamsHolder& holder) {
  // Parameters, not text pasted into the query: a group named "Bob's Tools"
  // must neither break nor rewrite it.
  auto group = firstInteger(database, "SELECT item_id FROM groups WHERE instr(title, ?1)", holder.groupName());
  if (!group) return false;
  auto item = firstInteger(database, "SELECT item_id FROM apps WHERE bundleid IS ?1 ORDER BY item_id DESC",
                           holder.appBundleID().value_or(std::string(kUnknownBundleID)));
  if (!item) return false;
  std::int64_t current = *item;
  for (int step = 0; current != *group && current != 0 && step < kMaximumParentWalk; ++step) {
    current = firstInteger(database, "SELECT parent_id FROM items WHERE rowid IS ?1", current).value_or(0);
  }
  return current == *group;
}

std::shared_ptr<fnd::URL> findDatabase() {
  std::error_code error;
  const std::string root = fnd::SearchPaths::path(fnd::SearchPathLocation::varFolders);
  std::filesystem::recursive_directory_iterator walk(
      root, std::filesystem::directory_options::skip_permission_denied, error);
  for (; !error && walk != std::filesystem::recursive_directory_iterator(); walk.increment(error)) {
    const std::string path = walk->path().string();
    if (path.ends_with(kDatabaseSuffix) && ::access(path.c_str(), R_OK) == 0) return fnd::URL::fileURLWithPath(path);
  }
  return nullptr;
}

}  // namespace

AFXLaunchpadWatcher::AFXLaunchpadWatcher(std::shared_ptr<fnd::URL> databaseURL, bool canWatch)
    : databaseURL_(std::move(databaseURL)),
      canWatch_(canWatch),
      internalQueue_(QVQueueBuilder::internalQueueWithName("launchpad-watcher-queue")) {}

std::shared_ptr<AFXLaunchpadWatcher> AFXLaunchpadWatcher::create() {
  return std::shared_ptr<AFXLaunchpadWatcher>(
      new AFXLaunchpadWatcher(launchpadDatabaseURL(), canWatchLaunchpadDatabase()));
}

std::shared_ptr<AFXLaunchpadWatcher> AFXLaunchpadWatcher::createWithDatabaseURL(std::shared_ptr<fnd::URL> databaseURL) {
  const bool canWatch = databaseURL && databaseHasWatchableSchema(*databaseURL);
  return std::shared_ptr<AFXLaunchpadWatcher>(new AFXLaunchpadWatcher(std::move(databaseURL), canWatch));
}

AFXLaunchpadWatcher::~AFXLaunchpadWatcher() {
  if (checkTimer_) checkTimer_->cancel();
}

std::shared_ptr<fnd::URL> AFXLaunchpadWatcher::launchpadDatabaseURL() {
  static const std::shared_ptr<fnd::URL> found = findDatabase();
  return found;
}

bool AFXLaunchpadWatcher::canWatchLaunchpadDatabase() {
  static const bool canWatch = launchpadDatabaseURL() && databaseHasWatchableSchema(*launchpadDatabaseURL());
  return canWatch;
}

bool AFXLaunchpadWatcher::databaseHasWatchableSchema(const fnd::URL& databaseURL) {
  auto database = fnd::SQLiteDatabase::open(databaseURL.path(), fnd::SQLiteDatabase::OpenMode::readOnly);
  if (!database) return false;
  auto statement = (*database)->prepare("SELECT tbl_name, sql FROM sqlite_master WHERE type IS 'table'");
  if (!statement) return false;
  std::set<std::string> passed;
  for (auto row = statement->step(); row && *row; row = statement->step()) {
    const std::string table = statement->columnText(0);
    if (tablePasses(table, lowercased(statement->columnText(1)))) passed.insert(table);
  }
  return passed.size() == 3;
}

std::optional<std::string> AFXLaunchpadWatcher::launchpadGroupThatCanBeCreatedForAppURL(const fnd::URL& appURL) {
  const std::string applications = fnd::SearchPaths::path(fnd::SearchPathLocation::applications);
  const std::string parent = std::filesystem::path(appURL.path()).parent_path().string();
  if (!parent.starts_with(applications + "/")) return std::nullopt;
  const std::string rest = parent.substr(applications.size() + 1);
  const std::string group = rest.substr(0, rest.find('/'));
  if (group.empty()) return std::nullopt;
  return group;
}

void AFXLaunchpadWatcher::watchForAppAppearance(std::shared_ptr<fnd::URL> appURL, std::string groupName,
                                                double untilTimeInterval, std::function<void(long)> completionHandler) {
  FND_PARAMETER_ASSERT(appURL);
  FND_PARAMETER_ASSERT(completionHandler);
  if (!canWatch_) {
    completionHandler(AFXLaunchpadWatchOutcomeCannotWatch);
    return;
  }
  fnd::Queue::global(fnd::QualityOfService::utility)
      .async([self = shared_from_this(), appURL = std::move(appURL), groupName = std::move(groupName),
              untilTimeInterval, completionHandler = std::move(completionHandler)] {
        auto holder = std::make_shared<AFXLaunchpadWatchParamsHolder>(appURL, groupName);
        self->internalQueue_.async([self, holder] {
          self->paramsHolders_.push_back(holder);
          self->startWatching();
          self->check();
        });
        const auto limit = std::chrono::duration_cast<fnd::Clock::Duration>(
            std::chrono::duration<double>(std::max(0.0, untilTimeInterval)));
        const bool appeared = holder->watchGroup().waitFor(limit);
        completionHandler(appeared ? AFXLaunchpadWatchOutcomeAppeared : AFXLaunchpadWatchOutcomeTimedOut);
        self->internalQueue_.async([self, holder] { self->drop(holder); });
      });
}

void AFXLaunchpadWatcher::fileMonitorDidObserveChange(QVFileMonitor& monitor, const fnd::URL& fileURL) {
  (void)monitor;
  (void)fileURL;
  internalQueue_.async([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->check();
  });
}

void AFXLaunchpadWatcher::startWatching() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (checkTimer_) return;
  const std::string path = databaseURL_->path();
  for (const std::string& file : {path, path + "-wal"}) {
    auto monitor = QVFileMonitor::monitorWithFileURL(fnd::URL::fileURLWithPath(file));
    if (!monitor) {
      DDLogError("Cannot monitor %@: %@", file, fnd::Value(monitor.error()));
      continue;
    }
    (*monitor)->addObserver(weak_from_this());
    fileMonitors_.push_back(std::move(*monitor));
  }
  checkTimer_ = fnd::Timer::create(internalQueue_, kCheckInterval, true, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->check();
  });
  checkTimer_->start();
}

void AFXLaunchpadWatcher::stopWatching() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (checkTimer_) checkTimer_->cancel();
  checkTimer_.reset();
  fileMonitors_.clear();
}

void AFXLaunchpadWatcher::check() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  if (paramsHolders_.empty()) {
    stopWatching();
    return;
  }
  // A database busy or gone for now is examined again at the next write or tick.
  auto database = fnd::SQLiteDatabase::open(databaseURL_->path(), fnd::SQLiteDatabase::OpenMode::readOnly,
                                            std::chrono::milliseconds(100));
  if (!database) return;
  const auto pending = paramsHolders_;
  for (const auto& holder : pending) {
    if (appIsInsideGroup(**database, *holder)) drop(holder);
  }
}

void AFXLaunchpadWatcher::drop(const std::shared_ptr<AFXLaunchpadWatchParamsHolder>& holder) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  auto found = std::find(paramsHolders_.begin(), paramsHolders_.end(), holder);
  if (found == paramsHolders_.end()) return;
  paramsHolders_.erase(found);
  holder->watchGroup().leave();
}
