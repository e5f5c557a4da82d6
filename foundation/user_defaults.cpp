#include "foundation/user_defaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <map>
#include <unordered_map>

#include "foundation/bundle.h"
#include "foundation/data.h"
#include "foundation/file_manager.h"
#include "foundation/number.h"
#include "foundation/process.h"
#include "foundation/property_list.h"
#include "foundation/search_paths.h"
#include "foundation/sqlite_database.h"
#include "foundation/string.h"

namespace fnd {

namespace detail {

namespace {

// Creates the folder and its missing parents, private to the user.
Expected<void> makeDirectories(const std::string& path) {
  return FileManager::defaultManager().createDirectoryAtPath(path, true, {.posixPermissions = 0700});
}

}  // namespace

// One domain's database and the cached copy of its rows. Shared by every
// defaults object of the process that names the domain.
class DefaultsDomain {
 public:
  using Entries = std::map<std::string, Value, std::less<>>;

  DefaultsDomain(std::string name, std::string path) : name_(std::move(name)), path_(std::move(path)) {}

  const std::string& name() const { return name_; }

  // The rows as last committed by anyone; empty while the domain has no file.
  std::shared_ptr<const Entries> entries() {
    std::lock_guard lock(mutex_);
    (void)refreshLocked();  // an unreadable domain reads as its last known rows
    return cache_;
  }

  Expected<void> set(std::string_view key, const Value& value) {
    std::vector<std::uint8_t> blob;
    if (!value.isNil()) {
      auto encoded = PropertyListSerialization::dataWithPropertyList(value, PropertyListFormat::binary);
      if (!encoded) return encoded.error();
      blob = std::move(*encoded);
    }
    std::lock_guard lock(mutex_);
    if (auto opened = openLocked(true); !opened) return opened.error();
    if (auto refreshed = refreshLocked(); !refreshed) return refreshed.error();
    auto written = value.isNil() ? deleteRowLocked(key) : writeRowLocked(key, blob);
    if (!written) return written.error();
    auto updated = std::make_shared<Entries>(*cache_);
    if (value.isNil()) {
      if (auto it = updated->find(key); it != updated->end()) updated->erase(it);
    } else {
      updated->insert_or_assign(std::string(key), value);
    }
    cache_ = std::move(updated);
    return success();
  }

  Expected<void> refresh() {
    std::lock_guard lock(mutex_);
    return refreshLocked();
  }

 private:
  static constexpr std::string_view kSchema =
      "CREATE TABLE IF NOT EXISTS defaults (key TEXT PRIMARY KEY NOT NULL, value BLOB NOT NULL)";

  // Opens the database; creates it (and its folder) only for a write, so that
  // reading a domain nobody wrote leaves no file behind.
  Expected<void> openLocked(bool create) {
    if (db_) return success();
    struct stat info {};
    const bool exists = ::stat(path_.c_str(), &info) == 0;
    if (!exists && !create) return success();
    if (!exists) {
      if (auto made = makeDirectories(UserDefaults::defaultsDirectory()); !made) return made.error();
    }
    auto db = SQLiteDatabase::open(path_, SQLiteDatabase::OpenMode::readWriteCreate);
    if (!db) return db.error();
    // WAL lets readers of other processes go on while one writes.
    if (auto wal = (*db)->execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL"); !wal) return wal.error();
    if (auto schema = (*db)->execute(kSchema); !schema) return schema.error();
    db_ = std::move(*db);
    version_.reset();
    return success();
  }

  Expected<void> refreshLocked() {
    if (auto opened = openLocked(false); !opened) return opened.error();
    if (!db_) return success();
    auto version = db_->dataVersion();
    if (!version) return version.error();
    if (version_ == *version) return success();
    auto rows = readRowsLocked();
    if (!rows) return rows.error();
    cache_ = std::make_shared<const Entries>(std::move(*rows));
    version_ = *version;
    return success();
  }

  Expected<Entries> readRowsLocked() {
    auto statement = db_->prepare("SELECT key, value FROM defaults");
    if (!statement) return statement.error();
    Entries rows;
    for (;;) {
      auto row = statement->step();
      if (!row) return row.error();
      if (!*row) break;
      const std::vector<std::uint8_t> blob = statement->columnBlob(1);
      // A row another writer damaged costs that key only.
      auto value = PropertyListSerialization::propertyListWithData(blob);
      if (value) rows.insert_or_assign(statement->columnText(0), std::move(*value));
    }
    return rows;
  }

  Expected<void> writeRowLocked(std::string_view key, const std::vector<std::uint8_t>& blob) {
    auto statement = db_->prepare(
        "INSERT INTO defaults (key, value) VALUES (?1, ?2) ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    if (!statement) return statement.error();
    if (auto bound = statement->bind(1, key); !bound) return bound.error();
    if (auto bound = statement->bind(2, std::span<const std::uint8_t>(blob)); !bound) return bound.error();
    auto done = statement->step();
    if (!done) return done.error();
    return success();
  }

  Expected<void> deleteRowLocked(std::string_view key) {
    auto statement = db_->prepare("DELETE FROM defaults WHERE key = ?1");
    if (!statement) return statement.error();
    if (auto bound = statement->bind(1, key); !bound) return bound.error();
    auto done = statement->step();
    if (!done) return done.error();
    return success();
  }

  const std::string name_;
  const std::string path_;
  std::mutex mutex_;
  std::unique_ptr<SQLiteDatabase> db_;
  std::optional<std::int64_t> version_;
  std::shared_ptr<const Entries> cache_ = std::make_shared<const Entries>();
};

namespace {

std::string domainPath(std::string_view name) {
  return UserDefaults::defaultsDirectory() + "/" + std::string(name) + ".sqlite";
}

// Domains are shared by path, so tests that move the configuration folder get
// fresh domains.
std::shared_ptr<DefaultsDomain> domainNamed(std::string_view name) {
  static auto* mutex = new std::mutex;
  static auto* domains = new std::unordered_map<std::string, std::shared_ptr<DefaultsDomain>>;
  std::string path = domainPath(name);
  std::lock_guard lock(*mutex);
  auto& domain = (*domains)[path];
  if (!domain) domain = std::make_shared<DefaultsDomain>(std::string(name), std::move(path));
  return domain;
}

}  // namespace

}  // namespace detail

namespace {

std::optional<std::int64_t> parseInteger(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parseReal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string owned(text);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(owned.c_str(), &end);
  if (errno != 0 || end != owned.c_str() + owned.size()) return std::nullopt;
  return value;
}

std::string mainProgramDomain() {
  if (auto bundle = Bundle::mainBundle()) {
    if (const std::string identifier = bundle->bundleIdentifier(); !identifier.empty()) return identifier;
  }
  // A program outside any bundle keeps its preferences under its own name.
  const std::string exe = currentExecutablePath();
  if (exe.empty()) return "unknown-program";
  const std::string name = exe.substr(exe.rfind('/') + 1);
  return UserDefaults::isValidDomainName(name) ? name : "unknown-program";
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaults() {
  static std::once_flag once;
  static std::string domain;
  std::call_once(once, [] { domain = mainProgramDomain(); });
  return create(domain);
}

std::shared_ptr<UserDefaults> UserDefaults::create(std::string_view suiteName) {
  if (!isValidDomainName(suiteName)) return nullptr;
  return std::shared_ptr<UserDefaults>(new UserDefaults(detail::domainNamed(suiteName)));
}

std::string UserDefaults::defaultsDirectory() {
  return SearchPaths::path(SearchPathLocation::userPreferences) + "/korvia-defaults";
}

bool UserDefaults::isValidDomainName(std::string_view name) {
  if (name.empty() || name.size() > 200 || name == "." || name == ".." || name.front() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
  });
}

UserDefaults::UserDefaults(std::shared_ptr<detail::DefaultsDomain> domain)
    : domain_(std::move(domain)), registration_(Dictionary::make()) {}

const std::string& UserDefaults::domainName() const { return domain_->name(); }

std::vector<std::shared_ptr<detail::DefaultsDomain>> UserDefaults::searchList() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<detail::DefaultsDomain>> list{domain_};
  list.insert(list.end(), suites_.begin(), suites_.end());
  return list;
}

Value UserDefaults::objectForKey(std::string_view key) const {
  for (const auto& domain : searchList()) {
    const auto entries = domain->entries();
    if (auto it = entries->find(key); it != entries->end()) return it->second;
  }
  std::lock_guard lock(mutex_);
  return registration_->objectForKey(key);
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  const Value value = objectForKey(key);
  if (auto text = value.stringValue()) return text;
  // The platform gives numbers as their text.
  if (auto number = value.as<Number>()) return number->description();
  return std::nullopt;
}

bool UserDefaults::boolForKey(std::string_view key) const {
  const Value value = objectForKey(key);
  if (auto flag = value.boolValue()) return *flag;
  if (auto text = value.stringValue()) {
    if (*text == "YES" || *text == "yes" || *text == "true" || *text == "TRUE") return true;
    if (auto number = parseInteger(*text)) return *number != 0;
  }
  return false;
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const {
  const Value value = objectForKey(key);
  if (auto number = value.integerValue()) return *number;
  if (auto text = value.stringValue()) {
    if (auto number = parseInteger(*text)) return *number;
    if (auto real = parseReal(*text)) return static_cast<std::int64_t>(std::clamp(*real, -9.2e18, 9.2e18));
  }
  return 0;
}

double UserDefaults::doubleForKey(std::string_view key) const {
  const Value value = objectForKey(key);
  if (auto number = value.doubleValue()) return *number;
  if (auto text = value.stringValue()) return parseReal(*text).value_or(0.0);
  return 0.0;
}

std::shared_ptr<Array> UserDefaults::arrayForKey(std::string_view key) const { return objectForKey(key).as<Array>(); }

std::shared_ptr<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
  return objectForKey(key).as<Dictionary>();
}

std::shared_ptr<Data> UserDefaults::dataForKey(std::string_view key) const { return objectForKey(key).as<Data>(); }

Expected<void> UserDefaults::setObject(const Value& value, std::string_view key) { return domain_->set(key, value); }

Expected<void> UserDefaults::setBool(bool value, std::string_view key) { return setObject(Value(value), key); }

Expected<void> UserDefaults::setInteger(std::int64_t value, std::string_view key) {
  return setObject(Value(value), key);
}

Expected<void> UserDefaults::setDouble(double value, std::string_view key) { return setObject(Value(value), key); }

Expected<void> UserDefaults::removeObjectForKey(std::string_view key) { return setObject(Value(), key); }

void UserDefaults::registerDefaults(const Dictionary& registration) {
  std::lock_guard lock(mutex_);
  auto merged = registration_;
  for (const auto& [key, value] : registration.entries()) merged = merged->dictionaryBySettingObject(value, key);
  registration_ = std::move(merged);
}

void UserDefaults::addSuiteNamed(std::string_view suiteName) {
  if (!isValidDomainName(suiteName) || suiteName == domain_->name()) return;
  auto suite = detail::domainNamed(suiteName);
  std::lock_guard lock(mutex_);
  if (std::find(suites_.begin(), suites_.end(), suite) == suites_.end()) suites_.push_back(std::move(suite));
}

void UserDefaults::removeSuiteNamed(std::string_view suiteName) {
  std::lock_guard lock(mutex_);
  std::erase_if(suites_, [&](const auto& suite) { return suite->name() == suiteName; });
}

std::shared_ptr<Dictionary> UserDefaults::dictionaryRepresentation() const {
  std::map<std::string, Value> merged;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : registration_->entries()) {
      if (auto name = key.stringValue()) merged.insert_or_assign(*name, value);
    }
  }
  // Lowest precedence first, so the domains searched first overwrite.
  const auto list = searchList();
  for (auto domain = list.rbegin(); domain != list.rend(); ++domain) {
    for (const auto& [key, value] : *(*domain)->entries()) merged.insert_or_assign(key, value);
  }
  std::vector<Dictionary::Entry> entries;
  entries.reserve(merged.size());
  for (auto& [key, value] : merged) entries.emplace_back(Value(key), std::move(value));
  return Dictionary::make(std::move(entries));
}

std::shared_ptr<Dictionary> UserDefaults::persistentDomainForName(std::string_view domainName) {
  std::vector<Dictionary::Entry> entries;
  if (isValidDomainName(domainName)) {
    for (const auto& [key, value] : *detail::domainNamed(domainName)->entries()) entries.emplace_back(Value(key), value);
  }
  return Dictionary::make(std::move(entries));
}

bool UserDefaults::synchronize() {
  bool readable = true;
  for (const auto& domain : searchList()) readable = domain->refresh().hasValue() && readable;
  return readable;
}

}  // namespace fnd
