#include "foundation/dictionary.h"

#include "foundation/check.h"
#include "foundation/describe.h"
#include "foundation/hashing.h"

namespace fnd {

const Class& Dictionary::staticClass() {
  static const Class& cls = Class::define("NSDictionary", &Object::staticClass(), [] { return make(); });
  return cls;
}

const Class& Dictionary::mutableClass() {
  static const Class& cls = Class::define("NSMutableDictionary", &staticClass(), [] { return makeMutable(); });
  return cls;
}

Dictionary::Dictionary(ObjectToken<Dictionary>, std::vector<Entry> entries, const Class& cls) : class_(&cls) {
  entries_.reserve(entries.size());
  index_.reserve(entries.size());
  for (auto& [key, value] : entries) {
    FND_PARAMETER_ASSERT(!key.isNil() && !value.isNil());
    auto [it, inserted] = index_.try_emplace(key, entries_.size());
    if (inserted) {
      entries_.emplace_back(std::move(key), std::move(value));
    } else {
      entries_[it->second].second = std::move(value);
    }
  }
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
  auto it = index_.find(key);
  return it == index_.end() ? Value() : entries_[it->second].second;
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
