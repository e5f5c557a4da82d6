#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/value.h"

namespace fnd {

// Keys to values, both non-nil. Entries keep their insertion order so that
// descriptions and archives are deterministic; a repeated key keeps its first
// position and takes the last value.
class Dictionary final : public Object {
 public:
  using Entry = std::pair<Value, Value>;

  static const Class& staticClass();
  static const Class& mutableClass();

  static std::shared_ptr<Dictionary> make(std::vector<Entry> entries = {});
  static std::shared_ptr<Dictionary> make(std::initializer_list<Entry> entries);
  static std::shared_ptr<Dictionary> makeMutable(std::vector<Entry> entries = {});

  std::size_t count() const { return entries_.size(); }
  const std::vector<Entry>& entries() const { return entries_; }
  // nil when absent.
  Value objectForKey(const Value& key) const;
  Value objectForKey(std::string_view key) const;
  Value objectForKey(const char* key) const { return objectForKey(std::string_view(key)); }
  Value objectForKey(const std::string& key) const { return objectForKey(std::string_view(key)); }
  std::vector<Value> allKeys() const;

  // A copy with `key` set to `value` (or removed when `value` is nil).
  std::shared_ptr<Dictionary> dictionaryBySettingObject(const Value& value, const Value& key) const;

  const Class& objectClass() const override { return *class_; }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 public:
  // Made only by the class itself (see ObjectToken).
  Dictionary(ObjectToken<Dictionary>, std::vector<Entry> entries, const Class& cls);

 private:
  std::optional<std::size_t> indexedPosition(const Value& key, std::size_t position);
  std::optional<std::size_t> linearPosition(const Value& key) const;

  std::vector<Entry> entries_;
  // Only for dictionaries too large to search key by key.
  std::unordered_map<Value, std::size_t, ValueHash> index_;
  const Class* class_;
};

}  // namespace fnd
