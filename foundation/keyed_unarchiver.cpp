#include "foundation/keyed_unarchiver.h"

#include <algorithm>
#include <utility>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/format.h"
#include "foundation/keyed_archive_layout.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/uid.h"
#include "foundation/url.h"
#include "foundation/uuid.h"

namespace fnd {

namespace {

// Deeper graphs than this are taken as hostile; real records nest a few levels.
constexpr std::size_t kMaximumDepth = 256;

std::string describeClasses(const KeyedUnarchiver::ClassList& classes) {
  std::string text = "{(";
  for (std::size_t i = 0; i < classes.size(); ++i) {
    text += i == 0 ? "\n    " : ",\n    ";
    text += classes[i]->name();
  }
  return text + "\n)}";
}

// User information decodes as platform values whatever the caller allowed
// for the error itself.
const KeyedUnarchiver::ClassList& userInfoClasses() { return KeyedUnarchiver::platformClasses(); }

}  // namespace

const KeyedUnarchiver::ClassList& KeyedUnarchiver::platformClasses() {
  static const ClassList classes = {&String::staticClass(),     &Number::staticClass(), &Data::staticClass(),
                                    &Date::staticClass(),       &UUID::staticClass(),   &URL::staticClass(),
                                    &Array::staticClass(),      &Dictionary::staticClass(), &Set::staticClass(),
                                    &Null::staticClass(),       &ErrorObject::staticClass()};
  return classes;
}

KeyedUnarchiver::KeyedUnarchiver(std::shared_ptr<Array> objects)
    : objects_(std::move(objects)), decoded_(objects_->count()), states_(objects_->count(), State::pending) {}

KeyedUnarchiver::~KeyedUnarchiver() = default;

Expected<Value> KeyedUnarchiver::unarchivedObjectOfClass(const Class& cls, std::span<const std::uint8_t> data) {
  return unarchivedObjectOfClasses({&cls}, data);
}

Expected<Value> KeyedUnarchiver::unarchivedObjectOfClasses(const ClassList& classes,
                                                           std::span<const std::uint8_t> data) {
  using namespace keyed_archive;
  auto plist = PropertyListSerialization::propertyListWithData(data);
  if (!plist) return plist.error();
  auto archive = plist->as<Dictionary>();
  if (!archive) return readCorruptError("The archive is not a dictionary");
  if (archive->objectForKey(kArchiverKey).stringValue() != kArchiverName) {
    return readCorruptError("The archive was not written by a keyed archiver");
  }
  if (archive->objectForKey(kVersionKey).integerValue() != kVersion) {
    return readCorruptError("The archive has an unknown version");
  }
  auto objects = archive->objectForKey(kArchiveObjectsKey).as<Array>();
  auto top = archive->objectForKey(kTopKey).as<Dictionary>();
  if (!objects || objects->count() == 0 || !top) return readCorruptError("The archive has no objects or no top");
  const Value root = top->objectForKey(kRootKey);
  if (!root.as<UID>()) return readCorruptError("The archive's root is not a reference");

  KeyedUnarchiver unarchiver(std::move(objects));
  unarchiver.topClasses_ = classes;
  Value object = unarchiver.decodeReference(root, classes, kRootKey);
  if (unarchiver.error_) return *unarchiver.error_;
  return object;
}

void KeyedUnarchiver::failWithError(Error error) {
  if (!error_) error_ = std::move(error);
}

Value KeyedUnarchiver::fail(std::string debugDescription) {
  failWithError(keyed_archive::readCorruptError(std::move(debugDescription)));
  return Value();
}

Value KeyedUnarchiver::currentValue(std::string_view key) const {
  if (entries_.empty()) return Value();
  return entries_.back()->objectForKey(keyed_archive::escapeKey(key));
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const { return !currentValue(key).isNil(); }

Value KeyedUnarchiver::decodeObjectOfClasses(const ClassList& classes, std::string_view key) {
  if (error_) return Value();
  const Value reference = currentValue(key);
  if (reference.isNil()) return Value();
  return decodeReference(reference, classes, key);
}

Value KeyedUnarchiver::decodeObjectOfClass(const Class& cls, std::string_view key) {
  return decodeObjectOfClasses({&cls}, key);
}

Value KeyedUnarchiver::decodeObject(std::string_view key) { return decodeObjectOfClasses(topClasses_, key); }

Error KeyedUnarchiver::corruptArchiveError(std::string debugDescription) {
  return keyed_archive::readCorruptError(std::move(debugDescription));
}

bool KeyedUnarchiver::decodeBool(std::string_view key) {
  const Value value = currentValue(key);
  if (value.isNil()) return false;
  if (auto flag = value.boolValue()) return *flag;
  fail(StringWithFormat("value for key '%@' is not a boolean", key));
  return false;
}

std::int64_t KeyedUnarchiver::decodeInt64(std::string_view key) {
  const Value value = currentValue(key);
  if (value.isNil()) return 0;
  if (auto number = value.as<Number>(); number && number->kind() != Number::Kind::real) return number->integerValue();
  fail(StringWithFormat("value for key '%@' is not an integer", key));
  return 0;
}

double KeyedUnarchiver::decodeDouble(std::string_view key) {
  const Value value = currentValue(key);
  if (value.isNil()) return 0.0;
  if (auto number = value.doubleValue()) return *number;
  fail(StringWithFormat("value for key '%@' is not a number", key));
  return 0.0;
}

std::optional<std::vector<std::uint8_t>> KeyedUnarchiver::decodeBytes(std::string_view key) {
  const Value value = currentValue(key);
  if (value.isNil()) return std::nullopt;
  if (auto data = value.as<Data>()) return data->bytes();
  fail(StringWithFormat("value for key '%@' is not data", key));
  return std::nullopt;
}

bool KeyedUnarchiver::isAllowed(const Value& object, const ClassList& allowed, std::string_view key) {
  if (object.isNil()) return true;
  const Class& cls = object->objectClass();
  for (const Class* candidate : allowed) {
    if (cls.isSubclassOfClass(*candidate)) return true;
  }
  fail(StringWithFormat("value for key '%@' was of unexpected class '%@'. Allowed classes are '%@'.", key,
                        cls.name(), describeClasses(allowed)));
  return false;
}

Value KeyedUnarchiver::decodeReference(const Value& reference, const ClassList& allowed, std::string_view key) {
  if (error_) return Value();
  auto uid = reference.as<UID>();
  if (!uid) return fail(StringWithFormat("value for key '%@' is not a reference", key));
  if (uid->value() == 0) return Value();
  if (uid->value() >= objects_->count()) {
    return fail(StringWithFormat("reference %@ for key '%@' is out of range", uid->value(), key));
  }
  const auto index = static_cast<std::size_t>(uid->value());
  switch (states_[index]) {
    case State::decoded:
      return isAllowed(decoded_[index], allowed, key) ? decoded_[index] : Value();
    case State::decoding:
      // Model objects exist before their keys are decoded, so references back
      // to them are legal; a value object cannot contain itself.
      if (!decoded_[index].isNil()) return isAllowed(decoded_[index], allowed, key) ? decoded_[index] : Value();
      return fail(StringWithFormat("reference loop at object %@ for key '%@'", uid->value(), key));
    case State::pending:
      break;
  }
  if (depth_ >= kMaximumDepth) return fail("The archive nests objects too deeply");
  ++depth_;
  states_[index] = State::decoding;
  Value object = decodeEntry(index, allowed, key);
  --depth_;
  if (error_) return Value();
  decoded_[index] = object;
  states_[index] = State::decoded;
  return isAllowed(object, allowed, key) ? object : Value();
}

Value KeyedUnarchiver::decodeEntry(std::uint64_t uid, const ClassList& allowed, std::string_view key) {
  const Value& entry = objects_->objectAtIndex(static_cast<std::size_t>(uid));
  if (auto string = entry.as<String>()) return Value(String::make(string->value()));
  if (entry.as<Number>()) return entry;
  if (auto data = entry.as<Data>()) return Value(Data::make(data->bytes()));
  if (auto keyed = entry.as<Dictionary>()) return decodeKeyedEntry(uid, *keyed, allowed, key);
  return fail(StringWithFormat("object %@ for key '%@' has an unexpected type", uid, key));
}

const Class* KeyedUnarchiver::classOfEntry(const Dictionary& entry, std::string_view key) {
  auto reference = entry.objectForKey(keyed_archive::kClassKey).as<UID>();
  if (!reference || reference->value() == 0 || reference->value() >= objects_->count()) {
    fail(StringWithFormat("object for key '%@' has no valid class reference", key));
    return nullptr;
  }
  auto descriptor = objects_->objectAtIndex(static_cast<std::size_t>(reference->value())).as<Dictionary>();
  const std::optional<std::string> name =
      descriptor ? descriptor->objectForKey(keyed_archive::kClassNameKey).stringValue() : std::nullopt;
  if (!name) {
    fail(StringWithFormat("object for key '%@' has a malformed class description", key));
    return nullptr;
  }
  const Class* cls = Class::named(*name);
  if (!cls) {
    fail(StringWithFormat("cannot decode object of class (%@) for key (%@); the class may be defined in source code "
                          "or a library that is not linked",
                          *name, key));
  }
  return cls;
}

Value KeyedUnarchiver::decodeKeyedEntry(std::uint64_t uid, const Dictionary& entry, const ClassList& allowed,
                                        std::string_view key) {
  const Class* cls = classOfEntry(entry, key);
  if (!cls) return Value();
  // Checked before anything of the object is built, so a forbidden class
  // costs nothing and runs none of its code.
  bool permitted = false;
  for (const Class* candidate : allowed) permitted = permitted || cls->isSubclassOfClass(*candidate);
  if (!permitted) {
    return fail(StringWithFormat("value for key '%@' was of unexpected class '%@'. Allowed classes are '%@'.", key,
                                 cls->name(), describeClasses(allowed)));
  }
  if (keyed_archive::isPlatformClass(*cls)) return decodePlatformObject(*cls, entry, allowed);

  std::shared_ptr<Object> object = cls->makeInstance();
  if (!object || !object->supportsSecureCoding()) {
    return fail(StringWithFormat("class '%@' for key '%@' does not support secure coding", cls->name(), key));
  }
  decoded_[static_cast<std::size_t>(uid)] = Value(object);
  entries_.push_back(&entry);
  const bool initialised = object->initWithCoder(*this);
  entries_.pop_back();
  if (!initialised && !error_) fail(StringWithFormat("object of class '%@' for key '%@' could not be decoded", cls->name(), key));
  if (error_) {
    decoded_[static_cast<std::size_t>(uid)] = Value();
    return Value();
  }
  return Value(std::move(object));
}

std::vector<Value> KeyedUnarchiver::decodeReferenceList(const Value& list, const ClassList& allowed,
                                                        std::string_view key) {
  auto references = list.as<Array>();
  if (!references) {
    fail(StringWithFormat("collection for key '%@' has no list of references", key));
    return {};
  }
  std::vector<Value> values;
  values.reserve(std::min<std::size_t>(references->count(), objects_->count()));
  for (const Value& reference : references->elements()) {
    Value value = decodeReference(reference, allowed, key);
    if (error_) return {};
    if (value.isNil()) {
      fail(StringWithFormat("collection for key '%@' holds a nil reference", key));
      return {};
    }
    values.push_back(std::move(value));
  }
  return values;
}

Value KeyedUnarchiver::decodePlatformObject(const Class& cls, const Dictionary& entry, const ClassList& allowed) {
  using namespace keyed_archive;
  if (cls.isSubclassOfClass(String::staticClass())) {
    auto text = entry.objectForKey(kStringKey).stringValue();
    if (!text) return fail("string object without text");
    return &cls == &String::mutableClass() ? Value(String::makeMutable(*text)) : Value(String::make(*text));
  }
  if (cls.isSubclassOfClass(Data::staticClass())) {
    auto bytes = entry.objectForKey(kDataKey).as<Data>();
    if (!bytes) return fail("data object without bytes");
    return &cls == &Data::mutableClass() ? Value(Data::makeMutable(bytes->bytes())) : Value(Data::make(bytes->bytes()));
  }
  if (&cls == &Date::staticClass()) {
    auto seconds = entry.objectForKey(kTimeKey).doubleValue();
    if (!seconds) return fail("date object without time");
    return Value(Date::dateWithTimeIntervalSinceReferenceDate(*seconds));
  }
  if (&cls == &UUID::staticClass()) {
    auto bytes = entry.objectForKey(kUUIDBytesKey).as<Data>();
    if (!bytes || bytes->length() != 16) return fail("UUID object without 16 bytes");
    UUID::Bytes raw{};
    std::copy(bytes->bytes().begin(), bytes->bytes().end(), raw.begin());
    return Value(UUID::makeWithBytes(raw));
  }
  if (&cls == &Null::staticClass()) return Value(Null::null());
  entries_.push_back(&entry);
  Value object = decodePlatformContainer(cls, entry, allowed);
  entries_.pop_back();
  return error_ ? Value() : object;
}

Value KeyedUnarchiver::decodePlatformContainer(const Class& cls, const Dictionary& entry, const ClassList& allowed) {
  using namespace keyed_archive;
  if (&cls == &URL::staticClass()) {
    static const ClassList urlClasses = {&URL::staticClass()};
    static const ClassList stringClasses = {&String::staticClass()};
    Value base = entry.objectForKey(kURLBaseKey).isNil() ? Value()
                                                          : decodeReference(entry.objectForKey(kURLBaseKey), urlClasses, kURLBaseKey);
    auto relative = decodeReference(entry.objectForKey(kURLRelativeKey), stringClasses, kURLRelativeKey).stringValue();
    if (error_) return Value();
    if (!relative) return fail("URL object without relative text");
    auto url = URL::URLWithString(*relative, base.as<URL>());
    if (!url) return fail(StringWithFormat("URL object with invalid text '%@'", *relative));
    return Value(std::move(url));
  }
  if (cls.isSubclassOfClass(Array::staticClass())) {
    std::vector<Value> elements = decodeReferenceList(entry.objectForKey(kObjectsKey), allowed, kObjectsKey);
    if (error_) return Value();
    return &cls == &Array::mutableClass() ? Value(Array::makeMutable(std::move(elements)))
                                          : Value(Array::make(std::move(elements)));
  }
  if (cls.isSubclassOfClass(Set::staticClass())) {
    std::vector<Value> elements = decodeReferenceList(entry.objectForKey(kObjectsKey), allowed, kObjectsKey);
    if (error_) return Value();
    return &cls == &Set::mutableClass() ? Value(Set::makeMutable(std::move(elements)))
                                        : Value(Set::make(std::move(elements)));
  }
  if (cls.isSubclassOfClass(Dictionary::staticClass())) {
    std::vector<Value> keys = decodeReferenceList(entry.objectForKey(kKeysKey), allowed, kKeysKey);
    std::vector<Value> values = decodeReferenceList(entry.objectForKey(kObjectsKey), allowed, kObjectsKey);
    if (error_) return Value();
    if (keys.size() != values.size()) return fail("dictionary object with unequal numbers of keys and values");
    std::vector<Dictionary::Entry> entries;
    entries.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) entries.emplace_back(std::move(keys[i]), std::move(values[i]));
    return &cls == &Dictionary::mutableClass() ? Value(Dictionary::makeMutable(std::move(entries)))
                                               : Value(Dictionary::make(std::move(entries)));
  }
  if (&cls == &ErrorObject::staticClass()) return decodeError(entry);
  return fail(StringWithFormat("class '%@' has no known layout", cls.name()));
}

Value KeyedUnarchiver::decodeError(const Dictionary& entry) {
  using namespace keyed_archive;
  static const ClassList stringClasses = {&String::staticClass()};
  auto domain = decodeReference(entry.objectForKey(kErrorDomainKey), stringClasses, kErrorDomainKey).stringValue();
  const Value codeValue = entry.objectForKey(kErrorCodeKey);
  auto code = codeValue.as<Number>();
  if (error_) return Value();
  if (!domain || !code || code->kind() == Number::Kind::real) return fail("error object without domain or code");
  std::shared_ptr<Dictionary> userInfo;
  if (const Value info = entry.objectForKey(kErrorUserInfoKey); !info.isNil()) {
    userInfo = decodeReference(info, userInfoClasses(), kErrorUserInfoKey).as<Dictionary>();
    if (error_) return Value();
    if (!userInfo) return fail("error user information is not a dictionary");
    for (const auto& entryOfInfo : userInfo->entries()) {
      if (!entryOfInfo.first.as<String>()) return fail("error user information with a key that is not a string");
    }
  }
  return Value(Error(*domain, code->integerValue(), std::move(userInfo)));
}

}  // namespace fnd
