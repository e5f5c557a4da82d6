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
#include "foundation/property_list_codec.h"
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

KeyedUnarchiver::~KeyedUnarchiver() = default;

Expected<Value> KeyedUnarchiver::unarchivedObjectOfClass(const Class& cls, std::span<const std::uint8_t> data) {
  return unarchivedObjectOfClasses({&cls}, data);
}

Expected<Value> KeyedUnarchiver::unarchivedObjectOfClasses(const ClassList& classes,
                                                           std::span<const std::uint8_t> data) {
  // Archives are binary and read in place; another form is read whole and
  // taken through the binary form.
  std::vector<std::uint8_t> converted;
  if (!plist_codec::isBinary(data)) {
    auto plist = PropertyListSerialization::propertyListWithData(data);
    if (!plist) return plist.error();
    converted = plist_codec::writeBinary(*plist);
    data = converted;
  }
  auto plist = PlistView::open(data);
  if (!plist) return plist.error();
  KeyedUnarchiver unarchiver(*plist);
  unarchiver.topClasses_ = classes;
  const std::optional<Item> root = unarchiver.openArchive();
  Value object = root ? unarchiver.decodeReference(root, classes, keyed_archive::kRootKey) : Value();
  if (unarchiver.error_) return *unarchiver.error_;
  return object;
}

std::optional<KeyedUnarchiver::Item> KeyedUnarchiver::openArchive() {
  using namespace keyed_archive;
  const std::optional<Item> archive = plistObject(plist_.topIndex());
  if (!archive) return std::nullopt;
  if (archive->kind != PlistView::Kind::dictionary) {
    fail("The archive is not a dictionary");
    return std::nullopt;
  }
  const std::optional<Item> archiver = lookUp(*archive, kArchiverKey);
  if (!archiver || archiver->kind != PlistView::Kind::text || plist_.text(*archiver) != kArchiverName) {
    if (!error_) fail("The archive was not written by a keyed archiver");
    return std::nullopt;
  }
  const std::optional<Item> version = lookUp(*archive, kVersionKey);
  if (!version || !plist_.isNumber(*version) || plist_.scalar(*version).integerValue() != kVersion) {
    if (!error_) fail("The archive has an unknown version");
    return std::nullopt;
  }
  const std::optional<Item> objects = lookUp(*archive, kArchiveObjectsKey);
  const std::optional<Item> top = lookUp(*archive, kTopKey);
  if (error_) return std::nullopt;
  if (!objects || objects->kind != PlistView::Kind::array || objects->count == 0 || !top ||
      top->kind != PlistView::Kind::dictionary) {
    fail("The archive has no objects or no top");
    return std::nullopt;
  }
  const std::optional<Item> root = lookUp(*top, kRootKey);
  if (!root || root->kind != PlistView::Kind::uid) {
    if (!error_) fail("The archive's root is not a reference");
    return std::nullopt;
  }
  objects_ = *objects;
  decoded_.resize(objects_.count);
  states_.assign(objects_.count, State::pending);
  return root;
}

std::optional<KeyedUnarchiver::Item> KeyedUnarchiver::plistObject(std::uint64_t index) {
  auto item = plist_.object(index);
  if (!item) {
    failWithError(item.error());
    return std::nullopt;
  }
  return *item;
}

std::optional<KeyedUnarchiver::Item> KeyedUnarchiver::entryAt(std::uint64_t uid) {
  return plistObject(plist_.reference(objects_, uid));
}

std::optional<KeyedUnarchiver::Item> KeyedUnarchiver::lookUp(const Item& dictionary, std::string_view key) {
  for (std::uint64_t i = dictionary.count; i-- > 0;) {
    const std::uint64_t keyIndex = plist_.reference(dictionary, i);
    if (const std::optional<std::string_view> text = plist_.asciiTextAt(keyIndex)) {
      if (*text == key) return plistObject(plist_.dictionaryValue(dictionary, i));
      continue;
    }
    const std::optional<Item> candidate = plistObject(keyIndex);
    if (!candidate) return std::nullopt;
    if (candidate->kind != PlistView::Kind::text) {
      failWithError(plist_codec::corruptError("A dictionary key is not a string"));
      return std::nullopt;
    }
    // Text that needs converting (Latin-1 or UTF-16) is compared as UTF-8.
    if (plist_.text(*candidate) == key) return plistObject(plist_.dictionaryValue(dictionary, i));
  }
  return std::nullopt;
}

void KeyedUnarchiver::failWithError(Error error) {
  if (!error_) error_ = std::move(error);
}

Value KeyedUnarchiver::fail(std::string debugDescription) {
  failWithError(keyed_archive::readCorruptError(std::move(debugDescription)));
  return Value();
}

std::optional<KeyedUnarchiver::Item> KeyedUnarchiver::currentValue(std::string_view key) {
  if (entries_.empty() || error_) return std::nullopt;
  // Keys of the archive's own start with '$'; a caller's such key is
  // stored with one more.
  if (!key.empty() && key.front() == '$') return lookUp(entries_.back(), keyed_archive::escapeKey(key));
  return lookUp(entries_.back(), key);
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) { return currentValue(key).has_value(); }

Value KeyedUnarchiver::decodeObjectOfClasses(const ClassList& classes, std::string_view key) {
  if (error_) return Value();
  const std::optional<Item> reference = currentValue(key);
  if (!reference) return Value();
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
  const std::optional<Item> item = currentValue(key);
  if (!item) return false;
  if (plist_.isNumber(*item)) return plist_.scalar(*item).boolValue().value_or(false);
  fail(StringWithFormat("value for key '%@' is not a boolean", key));
  return false;
}

std::int64_t KeyedUnarchiver::decodeInt64(std::string_view key) {
  const std::optional<Item> item = currentValue(key);
  if (!item) return 0;
  if (plist_.isNumber(*item) && item->kind != PlistView::Kind::real) {
    return plist_.scalar(*item).integerValue().value_or(0);
  }
  fail(StringWithFormat("value for key '%@' is not an integer", key));
  return 0;
}

double KeyedUnarchiver::decodeDouble(std::string_view key) {
  const std::optional<Item> item = currentValue(key);
  if (!item) return 0.0;
  if (plist_.isNumber(*item)) return plist_.scalar(*item).doubleValue().value_or(0.0);
  fail(StringWithFormat("value for key '%@' is not a number", key));
  return 0.0;
}

std::optional<std::vector<std::uint8_t>> KeyedUnarchiver::decodeBytes(std::string_view key) {
  const std::optional<Item> item = currentValue(key);
  if (!item) return std::nullopt;
  if (item->kind == PlistView::Kind::data) {
    const auto bytes = plist_.data(*item);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  }
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

Value KeyedUnarchiver::decodeReference(const std::optional<Item>& reference, const ClassList& allowed,
                                       std::string_view key) {
  if (error_) return Value();
  if (!reference || reference->kind != PlistView::Kind::uid) {
    return fail(StringWithFormat("value for key '%@' is not a reference", key));
  }
  const std::uint64_t uid = plist_.uid(*reference);
  if (uid == 0) return Value();
  if (uid >= objects_.count) return fail(StringWithFormat("reference %@ for key '%@' is out of range", uid, key));
  const auto index = static_cast<std::size_t>(uid);
  switch (states_[index]) {
    case State::decoded:
      return isAllowed(decoded_[index], allowed, key) ? decoded_[index] : Value();
    case State::decoding:
      // Model objects exist before their keys are decoded, so references back
      // to them are legal; a value object cannot contain itself.
      if (!decoded_[index].isNil()) return isAllowed(decoded_[index], allowed, key) ? decoded_[index] : Value();
      return fail(StringWithFormat("reference loop at object %@ for key '%@'", uid, key));
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
  const std::optional<Item> entry = entryAt(uid);
  if (!entry) return Value();
  switch (entry->kind) {
    case PlistView::Kind::text:
      return Value(String::make(plist_.text(*entry)));
    case PlistView::Kind::boolean:
    case PlistView::Kind::integer:
    case PlistView::Kind::real:
      return plist_.scalar(*entry);
    case PlistView::Kind::data: {
      const auto bytes = plist_.data(*entry);
      return Value(Data::make(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
    }
    case PlistView::Kind::dictionary:
      return decodeKeyedEntry(uid, *entry, allowed, key);
    default:
      return fail(StringWithFormat("object %@ for key '%@' has an unexpected type", uid, key));
  }
}

const Class* KeyedUnarchiver::classOfEntry(const Item& entry, std::string_view key) {
  const std::optional<Item> reference = lookUp(entry, keyed_archive::kClassKey);
  const std::uint64_t uid = reference && reference->kind == PlistView::Kind::uid ? plist_.uid(*reference) : 0;
  if (uid == 0 || uid >= objects_.count) {
    if (!error_) fail(StringWithFormat("object for key '%@' has no valid class reference", key));
    return nullptr;
  }
  if (auto known = classIndices_.find(uid)) return classes_[static_cast<std::size_t>(*known)];
  const std::optional<Item> descriptor = entryAt(uid);
  const std::optional<Item> name = descriptor && descriptor->kind == PlistView::Kind::dictionary
                                       ? lookUp(*descriptor, keyed_archive::kClassNameKey)
                                       : std::nullopt;
  if (!name || name->kind != PlistView::Kind::text) {
    if (!error_) fail(StringWithFormat("object for key '%@' has a malformed class description", key));
    return nullptr;
  }
  const std::string className = plist_.text(*name);
  const Class* cls = Class::named(className);
  if (!cls) {
    fail(StringWithFormat("cannot decode object of class (%@) for key (%@); the class may be defined in source code "
                          "or a library that is not linked",
                          className, key));
  }
  if (cls) {
    (void)classIndices_.tryEmplace(uid, classes_.size());
    classes_.push_back(cls);
  }
  return cls;
}

Value KeyedUnarchiver::decodeKeyedEntry(std::uint64_t uid, const Item& entry, const ClassList& allowed,
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
  entries_.push_back(entry);
  const bool initialised = object->initWithCoder(*this);
  entries_.pop_back();
  if (!initialised && !error_) fail(StringWithFormat("object of class '%@' for key '%@' could not be decoded", cls->name(), key));
  if (error_) {
    decoded_[static_cast<std::size_t>(uid)] = Value();
    return Value();
  }
  return Value(std::move(object));
}

std::vector<Value> KeyedUnarchiver::decodeReferenceList(const std::optional<Item>& list, const ClassList& allowed,
                                                        std::string_view key) {
  if (error_) return {};
  if (!list || list->kind != PlistView::Kind::array) {
    fail(StringWithFormat("collection for key '%@' has no list of references", key));
    return {};
  }
  std::vector<Value> values;
  values.reserve(std::min<std::uint64_t>(list->count, objects_.count));
  for (std::uint64_t i = 0; i < list->count; ++i) {
    const std::optional<Item> reference = plistObject(plist_.reference(*list, i));
    Value value = reference ? decodeReference(reference, allowed, key) : Value();
    if (error_) return {};
    if (value.isNil()) {
      fail(StringWithFormat("collection for key '%@' holds a nil reference", key));
      return {};
    }
    values.push_back(std::move(value));
  }
  return values;
}

Value KeyedUnarchiver::decodePlatformObject(const Class& cls, const Item& entry, const ClassList& allowed) {
  using namespace keyed_archive;
  if (cls.isSubclassOfClass(String::staticClass())) {
    const std::optional<Item> text = lookUp(entry, kStringKey);
    if (error_) return Value();
    if (!text || text->kind != PlistView::Kind::text) return fail("string object without text");
    std::string value = plist_.text(*text);
    return &cls == &String::mutableClass() ? Value(String::makeMutable(std::move(value)))
                                           : Value(String::make(std::move(value)));
  }
  if (cls.isSubclassOfClass(Data::staticClass())) {
    const std::optional<Item> bytes = lookUp(entry, kDataKey);
    if (error_) return Value();
    if (!bytes || bytes->kind != PlistView::Kind::data) return fail("data object without bytes");
    const std::span<const std::uint8_t> data = plist_.data(*bytes);
    std::vector<std::uint8_t> value(data.begin(), data.end());
    return &cls == &Data::mutableClass() ? Value(Data::makeMutable(std::move(value)))
                                         : Value(Data::make(std::move(value)));
  }
  if (&cls == &Date::staticClass()) {
    const std::optional<Item> seconds = lookUp(entry, kTimeKey);
    if (error_) return Value();
    if (!seconds || !plist_.isNumber(*seconds)) return fail("date object without time");
    return Value(Date::dateWithTimeIntervalSinceReferenceDate(plist_.scalar(*seconds).doubleValue().value_or(0.0)));
  }
  if (&cls == &UUID::staticClass()) {
    const std::optional<Item> bytes = lookUp(entry, kUUIDBytesKey);
    if (error_) return Value();
    if (!bytes || bytes->kind != PlistView::Kind::data || bytes->count != 16) return fail("UUID object without 16 bytes");
    UUID::Bytes raw{};
    const std::span<const std::uint8_t> data = plist_.data(*bytes);
    std::copy(data.begin(), data.end(), raw.begin());
    return Value(UUID::makeWithBytes(raw));
  }
  if (&cls == &Null::staticClass()) return Value(Null::null());
  entries_.push_back(entry);
  Value object = decodePlatformContainer(cls, entry, allowed);
  entries_.pop_back();
  return error_ ? Value() : object;
}

Value KeyedUnarchiver::decodePlatformContainer(const Class& cls, const Item& entry, const ClassList& allowed) {
  using namespace keyed_archive;
  if (&cls == &URL::staticClass()) {
    static const ClassList urlClasses = {&URL::staticClass()};
    static const ClassList stringClasses = {&String::staticClass()};
    const std::optional<Item> baseReference = lookUp(entry, kURLBaseKey);
    Value base = baseReference ? decodeReference(baseReference, urlClasses, kURLBaseKey) : Value();
    auto relative = decodeReference(lookUp(entry, kURLRelativeKey), stringClasses, kURLRelativeKey).stringValue();
    if (error_) return Value();
    if (!relative) return fail("URL object without relative text");
    auto url = URL::URLWithString(*relative, base.as<URL>());
    if (!url) return fail(StringWithFormat("URL object with invalid text '%@'", *relative));
    return Value(std::move(url));
  }
  if (cls.isSubclassOfClass(Array::staticClass())) {
    std::vector<Value> elements = decodeReferenceList(lookUp(entry, kObjectsKey), allowed, kObjectsKey);
    if (error_) return Value();
    return &cls == &Array::mutableClass() ? Value(Array::makeMutable(std::move(elements)))
                                          : Value(Array::make(std::move(elements)));
  }
  if (cls.isSubclassOfClass(Set::staticClass())) {
    std::vector<Value> elements = decodeReferenceList(lookUp(entry, kObjectsKey), allowed, kObjectsKey);
    if (error_) return Value();
    return &cls == &Set::mutableClass() ? Value(Set::makeMutable(std::move(elements)))
                                        : Value(Set::make(std::move(elements)));
  }
  if (cls.isSubclassOfClass(Dictionary::staticClass())) {
    std::vector<Value> keys = decodeReferenceList(lookUp(entry, kKeysKey), allowed, kKeysKey);
    std::vector<Value> values = decodeReferenceList(lookUp(entry, kObjectsKey), allowed, kObjectsKey);
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

Value KeyedUnarchiver::decodeError(const Item& entry) {
  using namespace keyed_archive;
  static const ClassList stringClasses = {&String::staticClass()};
  auto domain = decodeReference(lookUp(entry, kErrorDomainKey), stringClasses, kErrorDomainKey).stringValue();
  const std::optional<Item> code = lookUp(entry, kErrorCodeKey);
  if (error_) return Value();
  if (!domain || !code || !plist_.isNumber(*code) || code->kind == PlistView::Kind::real) {
    return fail("error object without domain or code");
  }
  std::shared_ptr<Dictionary> userInfo;
  if (const std::optional<Item> info = lookUp(entry, kErrorUserInfoKey)) {
    userInfo = decodeReference(info, userInfoClasses(), kErrorUserInfoKey).as<Dictionary>();
    if (error_) return Value();
    if (!userInfo) return fail("error user information is not a dictionary");
    for (const auto& entryOfInfo : userInfo->entries()) {
      if (!entryOfInfo.first.as<String>()) return fail("error user information with a key that is not a string");
    }
  }
  return Value(Error(*domain, plist_.scalar(*code).integerValue().value_or(0), std::move(userInfo)));
}

}  // namespace fnd
