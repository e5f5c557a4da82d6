#include "foundation/keyed_archiver.h"

#include <mutex>
#include <unordered_map>
#include <utility>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/format.h"
#include "foundation/check.h"
#include "foundation/keyed_archive_layout.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/property_list_codec.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/uid.h"
#include "foundation/url.h"
#include "foundation/uuid.h"

namespace fnd {

// What one key of an archived object holds: a plain property-list value, a
// reference, a conditional reference (resolved once the whole graph is
// written) or a list of references (collections).
struct KeyedArchiver::Slot {
  struct Conditional {
    const Object* object;
  };
  std::variant<Value, std::uint64_t, Conditional, std::vector<std::uint64_t>> content;
};

// One entry of "$objects": a plain value, or a dictionary of keys.
struct KeyedArchiver::Entry {
  Value plain;
  std::vector<std::pair<std::string, Slot>> keys;
};

KeyedArchiver::KeyedArchiver() {
  Entry null;
  null.plain = Value(std::string(keyed_archive::kNull));
  objects_.push_back(std::move(null));
}

KeyedArchiver::~KeyedArchiver() = default;

Expected<std::vector<std::uint8_t>> KeyedArchiver::archivedDataWithRootObject(const Value& root) {
  KeyedArchiver archiver;
  const std::uint64_t uid = archiver.referenceObject(root);
  return archiver.finish(uid);
}

void KeyedArchiver::failWithError(Error error) {
  if (!error_) error_ = std::move(error);
}

void KeyedArchiver::put(std::string_view key, Slot slot) { putRaw(keyed_archive::escapeKey(key), std::move(slot)); }

void KeyedArchiver::putRaw(std::string key, Slot slot) {
  FND_PARAMETER_ASSERT(current_.has_value());
  objects_[*current_].keys.emplace_back(std::move(key), std::move(slot));
}

void KeyedArchiver::encodeObject(const Value& object, std::string_view key) {
  put(key, Slot{referenceObject(object)});
}

void KeyedArchiver::encodeConditionalObject(const Value& object, std::string_view key) {
  if (object.isNil()) return put(key, Slot{std::uint64_t{0}});
  if (auto known = uids_.find(object.get())) return put(key, Slot{*known});
  // Kept alive so that its address cannot be reused by another object of the
  // graph before the reference is resolved.
  retained_.push_back(object);
  put(key, Slot{Slot::Conditional{object.get()}});
}

void KeyedArchiver::encodeBool(bool value, std::string_view key) { put(key, Slot{Value(value)}); }

void KeyedArchiver::encodeInt64(std::int64_t value, std::string_view key) { put(key, Slot{Value(value)}); }

void KeyedArchiver::encodeDouble(double value, std::string_view key) { put(key, Slot{Value(value)}); }

void KeyedArchiver::encodeBytes(std::vector<std::uint8_t> bytes, std::string_view key) {
  put(key, Slot{Value(Data::make(std::move(bytes)))});
}

std::uint64_t KeyedArchiver::referenceObject(const Value& object) {
  if (object.isNil()) return 0;
  if (auto known = uids_.find(object.get())) return *known;
  return encodeNewObject(object);
}

std::uint64_t KeyedArchiver::encodeNewObject(const Value& original) {
  Value object = original->replacementObjectForKeyedArchiver();
  if (object.isNil()) object = original;
  if (object.get() != original.get()) {
    retained_.push_back(object);
    if (auto known = uids_.find(object.get())) {
      (void)uids_.tryEmplace(original.get(), *known);
      return *known;
    }
  }
  const std::uint64_t uid = objects_.size();
  objects_.emplace_back();
  (void)uids_.tryEmplace(original.get(), uid);
  (void)uids_.tryEmplace(object.get(), uid);

  const Object& target = *object.get();
  if (keyed_archive::isPlainEntry(target)) {
    objects_[uid].plain = object;
    return uid;
  }
  const std::optional<std::size_t> outer = std::exchange(current_, uid);
  if (keyed_archive::isPlatformClass(target.objectClass())) {
    encodePlatformObject(target);
  } else if (target.supportsSecureCoding()) {
    target.encodeWithCoder(*this);
  } else {
    failWithError(keyed_archive::invalidValueError(
        StringWithFormat("This coder requires that archived classes conform to secure coding; %@ does not",
                         target.objectClass().name())));
  }
  putRaw(std::string(keyed_archive::kClassKey), Slot{classReference(target.objectClass())});
  current_ = outer;
  return uid;
}

void KeyedArchiver::encodePlatformObject(const Object& object) {
  using namespace keyed_archive;
  if (const auto* string = objectCast<String>(&object)) {
    put(kStringKey, Slot{Value(String::make(string->value()))});
  } else if (const auto* data = objectCast<Data>(&object)) {
    put(kDataKey, Slot{Value(Data::make(data->bytes()))});
  } else if (const auto* date = objectCast<Date>(&object)) {
    put(kTimeKey, Slot{Value(date->timeIntervalSinceReferenceDate())});
  } else if (const auto* uuid = objectCast<UUID>(&object)) {
    put(kUUIDBytesKey, Slot{Value(Data::make(std::vector<std::uint8_t>(uuid->bytes().begin(), uuid->bytes().end())))});
  } else if (const auto* url = objectCast<URL>(&object)) {
    const std::uint64_t base = referenceObject(Value(url->baseURL()));
    put(kURLBaseKey, Slot{base});
    const std::uint64_t relative = referenceObject(Value(url->relativeString()));
    put(kURLRelativeKey, Slot{relative});
  } else if (const auto* array = objectCast<Array>(&object)) {
    put(kObjectsKey, Slot{referenceAll(array->elements())});
  } else if (const auto* set = objectCast<Set>(&object)) {
    put(kObjectsKey, Slot{referenceAll(set->elements())});
  } else if (const auto* dictionary = objectCast<Dictionary>(&object)) {
    // All keys first, then all values, as the platform writes them.
    std::vector<Value> keys;
    std::vector<Value> values;
    for (const auto& [key, value] : dictionary->entries()) {
      keys.push_back(key);
      values.push_back(value);
    }
    std::vector<std::uint64_t> keyRefs = referenceAll(keys);
    std::vector<std::uint64_t> valueRefs = referenceAll(values);
    put(kKeysKey, Slot{std::move(keyRefs)});
    put(kObjectsKey, Slot{std::move(valueRefs)});
  } else if (const auto* error = objectCast<ErrorObject>(&object)) {
    put(kErrorCodeKey, Slot{Value(error->code())});
    const std::uint64_t domain = referenceObject(Value(error->domain()));
    put(kErrorDomainKey, Slot{domain});
    if (error->userInfo() && error->userInfo()->count() > 0) {
      const std::uint64_t userInfo = referenceObject(Value(error->userInfo()));
      put(kErrorUserInfoKey, Slot{userInfo});
    }
  }
  // NSNull has no keys but its class.
}

std::vector<std::uint64_t> KeyedArchiver::referenceAll(const std::vector<Value>& values) {
  std::vector<std::uint64_t> refs;
  refs.reserve(values.size());
  for (const Value& value : values) refs.push_back(referenceObject(value));
  return refs;
}

std::uint64_t KeyedArchiver::classReference(const Class& cls) {
  if (auto known = classes_.find(&cls)) return *known;
  const std::uint64_t uid = objects_.size();
  objects_.emplace_back();
  (void)classes_.tryEmplace(&cls, uid);
  const ClassDescription& description = describedClass(cls);
  objects_[uid].keys.emplace_back(std::string(keyed_archive::kClassNameKey), Slot{description.name});
  objects_[uid].keys.emplace_back(std::string(keyed_archive::kClassesKey), Slot{description.chain});
  return uid;
}

const KeyedArchiver::ClassDescription& KeyedArchiver::describedClass(const Class& cls) {
  // Classes live as long as the process and their names never change, so
  // each is described once; the values are immutable and shared by archives.
  static std::mutex mutex;
  static auto* descriptions = new std::unordered_map<const Class*, ClassDescription>;
  std::lock_guard lock(mutex);
  auto [it, inserted] = descriptions->try_emplace(&cls);
  if (inserted) {
    std::vector<Value> chain;
    for (const std::string& name : cls.classChain()) chain.emplace_back(name);
    it->second = ClassDescription{Value(cls.name()), Value(Array::make(std::move(chain)))};
  }
  return it->second;
}

Expected<std::vector<std::uint8_t>> KeyedArchiver::finish(std::uint64_t root) {
  if (error_) return *error_;
  // Written straight from the entries: string keys, plain values and UIDs
  // four levels deep are a property list by construction, and no value tree
  // need be made and walked first.
  using Ref = plist_codec::BinaryPlistBuilder::Ref;
  plist_codec::BinaryPlistBuilder plist;
  auto resolve = [&](const Slot& slot) -> Ref {
    return std::visit(
        [&](const auto& content) -> Ref {
          using T = std::decay_t<decltype(content)>;
          if constexpr (std::is_same_v<T, Value>) {
            return plist.value(content);
          } else if constexpr (std::is_same_v<T, std::uint64_t>) {
            return plist.uid(content);
          } else if constexpr (std::is_same_v<T, Slot::Conditional>) {
            return plist.uid(uids_.find(content.object).value_or(0));
          } else {
            std::vector<Ref> uids;
            uids.reserve(content.size());
            for (const std::uint64_t index : content) uids.push_back(plist.uid(index));
            return plist.array(uids);
          }
        },
        slot.content);
  };
  std::vector<Ref> objects;
  objects.reserve(objects_.size());
  std::vector<Ref> keys;
  std::vector<Ref> values;
  for (const Entry& entry : objects_) {
    if (!entry.plain.isNil()) {
      objects.push_back(plist.value(entry.plain));
      continue;
    }
    keys.clear();
    values.clear();
    for (const auto& [key, slot] : entry.keys) {
      keys.push_back(plist.string(key));
      values.push_back(resolve(slot));
    }
    objects.push_back(plist.dictionary(keys, values));
  }
  const Ref objectsArray = plist.array(objects);
  const Ref rootKey = plist.string(keyed_archive::kRootKey);
  const Ref rootUID = plist.uid(root);
  const Ref top = plist.dictionary({&rootKey, 1}, {&rootUID, 1});
  const Ref version = plist.value(versionNumber());
  const Ref topKeys[] = {plist.string(keyed_archive::kVersionKey), plist.string(keyed_archive::kArchiverKey),
                         plist.string(keyed_archive::kTopKey), plist.string(keyed_archive::kArchiveObjectsKey)};
  const Ref topValues[] = {version, plist.string(keyed_archive::kArchiverName), top, objectsArray};
  return plist.finish(plist.dictionary(topKeys, topValues));
}

const Value& KeyedArchiver::versionNumber() {
  static const Value version(keyed_archive::kVersion);
  return version;
}

}  // namespace fnd
