#include "foundation/dictionary.h"

#include "foundation/check.h"
#include "foundation/describe.h"
#include "foundation/hashing.h"
#include "foundation/string.h"

namespace fnd {

const Class& Dictionary::staticClass() {
  static const Class& cls = Class::define("NSDictionary", &Object::staticClass(), [] { return make(); });
  return cls;
}

const Class& Dictionary::mutableClass() {
  static const Class& cls = Class::define("NSMutableDictionary", &staticClass(), [] { return makeMutable(); });
  return cls;
}

namespace {

// Archives and messages are made of small dictionaries, where comparing each
// key costs less than hashing one and needs no index to allocate.
constexpr std::size_t kLinearSearchLimit = 8;

}  // namespace

Dictionary::Dictionary(ObjectToken<Dictionary>, std::vector<Entry> entries, const Class& cls) : class_(&cls) {
  entries_.reserve(entries.size());
  const bool indexed = entries.size() > kLinearSearchLimit;
  if (indexed) index_.reserve(entries.size());
  for (auto& [key, value] : entries) {
    FND_PARAMETER_ASSERT(!key.isNil() && !value.isNil());
    const auto existing = indexed ? indexedPosition(key, entries_.size()) : linearPosition(key);
    if (existing) {
      entries_[*existing].second = std::move(value);
    } else {
      entries_.emplace_back(std::move(key), std::move(value));
    }
  }
}

// Indexes `key` at `position` unless it is there already.
std::optional<std::size_t> Dictionary::indexedPosition(const Value& key, std::size_t position) {
  auto [it, inserted] = index_.try_emplace(key, position);
  return inserted ? std::nullopt : std::optional<std::size_t>(it->second);
}

std::optional<std::size_t> Dictionary::linearPosition(const Value& key) const {
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    if (key.isEqual(entries_[position].first)) return position;
  }
  return std::nullopt;
}

std::shared_ptr<Dictionary> Dictionary::make(std::vector<Entry> entries) {
  return std::make_shared<Dictionary>(ObjectToken<Dictionary>{}, std::move(entries), staticClass());
}

std::shared_ptr<Dictionary> Dictionary::make(std::initializer_list<Entry> entries) {
  return make(std::vector<Entry>(entries));
}

std::shared_ptr<Dictionary> Dictionary::makeMutable(std::vector<Entry> entries) {
  return std::make_shared<Dictionary>(ObjectToken<Dictionary>{}, std::move(entries), mutableClass());
}

Value Dictionary::objectForKey(const Value& key) const {
  if (index_.empty()) {
    const auto position = linearPosition(key);
    return position ? entries_[*position].second : Value();
  }
  auto it = index_.find(key);
  return it == index_.end() ? Value() : entries_[it->second].second;
}

Value Dictionary::objectForKey(std::string_view key) const {
  if (!index_.empty()) return objectForKey(Value(key));
  // Equal to a string key exactly when a string of `key` would be, without
  // making one.
  for (const auto& entry : entries_) {
    const auto* text = objectCast<String>(entry.first.get());
    if (text != nullptr && text->value() == key) return entry.second;
  }
  return Value();
}

std::vector<Value> Dictionary::allKeys() const {
  std::vector<Value> keys;
  keys.reserve(entries_.size());
  for (const auto& entry : entries_) keys.push_back(entry.first);
  return keys;
}

std::shared_ptr<Dictionary> Dictionary::dictionaryBySettingObject(const Value& value, const Value& key) const {
  FND_PARAMETER_ASSERT(!key.isNil());
  std::vector<Entry> entries;
  entries.reserve(entries_.size() + 1);
  for (const auto& entry : entries_) {
    if (entry.first != key) entries.push_back(entry);
  }
  if (!value.isNil()) entries.emplace_back(key, value);
  return std::make_shared<Dictionary>(ObjectToken<Dictionary>{}, std::move(entries), *class_);
}

bool Dictionary::isEqual(const Object& other) const {
  const auto* d = dynamic_cast<const Dictionary*>(&other);
  if (d == nullptr || d->entries_.size() != entries_.size()) return false;
  for (const auto& [key, value] : entries_) {
    if (d->objectForKey(key) != value) return false;
  }
  return true;
}

std::size_t Dictionary::hash() const {
  // Order-independent, so equal dictionaries built in another order agree.
  std::size_t h = entries_.size();
  for (const auto& [key, value] : entries_) h += detail::hashCombine(key.hash(), value.hash());
  return h;
}

std::string Dictionary::description() const {
  std::string out = "{";
  for (const auto& [key, value] : entries_) {
    out += "\n    " + detail::indentNested(key.description()) + " = " + detail::indentNested(value.description()) + ";";
  }
  return out + "\n}";
}

}  // namespace fnd
