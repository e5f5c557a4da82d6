#pragma once

// Preferences. Each domain is one SQLite database under
// $XDG_CONFIG_HOME/korvia-defaults/ holding every key as a binary property
// list, so several processes may read and write one domain at once: each
// write is one committed row and nobody's key is lost. Reads come from a
// cached copy that is reloaded whenever another connection has committed.
//
// A defaults object searches its own domain, then the suites added to it, then
// its registration defaults. Writes go to its own domain.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/expected.h"
#include "foundation/value.h"

namespace fnd {

namespace detail {
class DefaultsDomain;
}

class UserDefaults {
 public:
  // The defaults of the running program's bundle identifier (its executable's
  // name when it has none).
  static std::shared_ptr<UserDefaults> standardUserDefaults();
  // The defaults of a named domain; null when the name cannot be a domain.
  static std::shared_ptr<UserDefaults> create(std::string_view suiteName);

  // The folder holding every domain's database.
  static std::string defaultsDirectory();
  // Whether a name can be a domain: reverse-DNS-like text that is safe as a
  // file name.
  static bool isValidDomainName(std::string_view name);

  const std::string& domainName() const;

  // nil when no domain of the search list has the key.
  Value objectForKey(std::string_view key) const;
  std::optional<std::string> stringForKey(std::string_view key) const;
  // Numbers, and the texts "YES"/"NO", "true"/"false" or digits, as the
  // platform reads them; false, 0 and 0.0 when absent.
  bool boolForKey(std::string_view key) const;
  std::int64_t integerForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  std::shared_ptr<Array> arrayForKey(std::string_view key) const;
  std::shared_ptr<Dictionary> dictionaryForKey(std::string_view key) const;
  std::shared_ptr<Data> dataForKey(std::string_view key) const;

  // Stores a property-list value in this object's domain; a nil value removes
  // the key. Fails with NSCocoaErrorDomain 3852 for a value that is not a
  // property list, or with the database's error.
  [[nodiscard]] Expected<void> setObject(const Value& value, std::string_view key);
  [[nodiscard]] Expected<void> setBool(bool value, std::string_view key);
  [[nodiscard]] Expected<void> setInteger(std::int64_t value, std::string_view key);
  [[nodiscard]] Expected<void> setDouble(double value, std::string_view key);
  [[nodiscard]] Expected<void> removeObjectForKey(std::string_view key);

  // Values used when no domain has the key; kept in memory only.
  void registerDefaults(const Dictionary& registration);
  void addSuiteNamed(std::string_view suiteName);
  void removeSuiteNamed(std::string_view suiteName);

  // Every key of the search list with the value that objectForKey gives it.
  std::shared_ptr<Dictionary> dictionaryRepresentation() const;
  // The stored keys of any domain (empty when it has none); reads only.
  static std::shared_ptr<Dictionary> persistentDomainForName(std::string_view domainName);

  // Writes are committed as they are made; this picks up other processes'
  // changes now and reports whether the domain could be read.
  bool synchronize();

 private:
  explicit UserDefaults(std::shared_ptr<detail::DefaultsDomain> domain);
  std::vector<std::shared_ptr<detail::DefaultsDomain>> searchList() const;

  const std::shared_ptr<detail::DefaultsDomain> domain_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<detail::DefaultsDomain>> suites_;
  std::shared_ptr<Dictionary> registration_;
};

}  // namespace fnd
