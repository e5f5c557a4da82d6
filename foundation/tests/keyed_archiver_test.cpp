#include "foundation/keyed_archiver.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstring>
#include <memory>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/keyed_archive_layout.h"
#include "foundation/keyed_unarchiver.h"
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

// A model object as records are: declared class, secure coding, a reference
// to another node that may close a cycle.
class Node final : public Object {
 public:
  static const Class& staticClass() {
    static const Class& cls = Class::define("KorviaTestNode", &Object::staticClass(),
                                            [] { return std::shared_ptr<Node>(new Node); });
    return cls;
  }
  static std::shared_ptr<Node> make(std::string name) {
    auto node = std::shared_ptr<Node>(new Node);
    node->name = std::move(name);
    return node;
  }
  const Class& objectClass() const override { return staticClass(); }
  bool supportsSecureCoding() const override { return true; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeObject(Value(name), "name");
    coder.encodeInt64(priority, "priority");
    coder.encodeObject(Value(next), "next");
    coder.encodeConditionalObject(Value(weakPeer.lock()), "peer");
    coder.encodeObject(extra, "$extra");
  }
  bool initWithCoder(KeyedUnarchiver& coder) override {
    auto decodedName = coder.decodeObjectOfClass(String::staticClass(), "name").stringValue();
    if (!decodedName) return false;
    name = *decodedName;
    priority = coder.decodeInt64("priority");
    next = coder.decodeObjectOfClass(staticClass(), "next").as<Node>();
    weakPeer = coder.decodeObjectOfClass(staticClass(), "peer").as<Node>();
    extra = coder.decodeObjectOfClasses(KeyedUnarchiver::platformClasses(), "$extra");
    return !coder.hasFailed();
  }

  std::string name;
  std::int64_t priority = 0;
  std::shared_ptr<Node> next;
  std::weak_ptr<Node> weakPeer;
  Value extra;

 private:
  Node() = default;
};

std::vector<std::uint8_t> archive(const Value& root) {
  auto data = KeyedArchiver::archivedDataWithRootObject(root);
  EXPECT_TRUE(data) << data.error().description();
  return data ? *data : std::vector<std::uint8_t>{};
}

Value roundTrip(const Value& root, const KeyedUnarchiver::ClassList& classes = KeyedUnarchiver::platformClasses()) {
  auto decoded = KeyedUnarchiver::unarchivedObjectOfClasses(classes, archive(root));
  EXPECT_TRUE(decoded) << decoded.error().description();
  return decoded ? *decoded : Value();
}

std::shared_ptr<Dictionary> archiveAsPlist(const Value& root) {
  auto plist = PropertyListSerialization::propertyListWithData(archive(root));
  EXPECT_TRUE(plist);
  return plist ? plist->as<Dictionary>() : nullptr;
}

std::uint64_t uidOf(const Value& value) {
  auto uid = value.as<UID>();
  EXPECT_TRUE(uid) << value.description();
  return uid ? uid->value() : ~0ull;
}

std::string debugDescription(const Error& error) {
  return error.userInfoValue(NSDebugDescriptionErrorKey).stringValue().value_or("");
}

TEST(KeyedArchiverRoundTrip, EveryPlatformClassComesBackEqualAndOfItsClass) {
  auto base = URL::URLWithString("https://example.invalid/a/");
  const std::vector<Value> values = {
      Value("text \u00fc"),
      Value(String::makeMutable("mutable")),
      Value(true),
      Value(std::int64_t{-7}),
      Value(std::numeric_limits<std::uint64_t>::max()),
      Value(2.5),
      Value(Data::make(std::string_view("\x00\x01", 2))),
      Value(Data::makeMutable({9, 8})),
      Value(Date::dateWithTimeIntervalSinceReferenceDate(-1234.5)),
      Value(UUID::makeWithString("68753A44-4D6F-1226-9C60-0050E4C00067")),
      Value(URL::URLWithString("b/c?d", base)),
      Value(Array::make({Value(1), Value("two")})),
      Value(Array::makeMutable({Value(3)})),
      Value(Dictionary::make({{Value("k"), Value("v")}, {Value(4), Value(Null::null())}})),
      Value(Set::make({Value("x"), Value("y")})),
      Value(Null::null()),
      Value(Error("com.korvia.default-error-domain", -401001,
                  {{Value(NSLocalizedDescriptionKey), Value("Boom.")},
                   {Value(NSUnderlyingErrorKey), Value(Error(NSPOSIXErrorDomain, 28))}})),
  };
  for (const Value& value : values) {
    const Value decoded = roundTrip(value);
    EXPECT_EQ(decoded, value) << value.description();
    ASSERT_FALSE(decoded.isNil());
    EXPECT_EQ(&decoded->objectClass(), &value->objectClass()) << value->objectClass().name();
  }
  const Value number = roundTrip(Value(true));
  EXPECT_EQ(number.as<Number>()->kind(), Number::Kind::boolean);
}

TEST(KeyedArchiverLayout, IsThePlatformLayout) {
  auto plist = archiveAsPlist(Value(Dictionary::make({{Value("key"), Value("value")}})));
  ASSERT_TRUE(plist);
  EXPECT_EQ(plist->objectForKey("$archiver").stringValue(), "NSKeyedArchiver");
  EXPECT_EQ(plist->objectForKey("$version").integerValue(), 100000);
  EXPECT_EQ(plist->count(), 4u);
  EXPECT_EQ(uidOf(plist->objectForKey("$top").as<Dictionary>()->objectForKey("root")), 1u);
  auto objects = plist->objectForKey("$objects").as<Array>();
  ASSERT_TRUE(objects);
  ASSERT_EQ(objects->count(), 5u);
  EXPECT_EQ(objects->objectAtIndex(0).stringValue(), "$null");
  auto dictionary = objects->objectAtIndex(1).as<Dictionary>();
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->count(), 3u);
  EXPECT_EQ(uidOf(dictionary->objectForKey("NS.keys").as<Array>()->objectAtIndex(0)), 2u);
  EXPECT_EQ(uidOf(dictionary->objectForKey("NS.objects").as<Array>()->objectAtIndex(0)), 3u);
  EXPECT_EQ(uidOf(dictionary->objectForKey("$class")), 4u);
  EXPECT_EQ(objects->objectAtIndex(2).stringValue(), "key");
  EXPECT_EQ(objects->objectAtIndex(3).stringValue(), "value");
  auto descriptor = objects->objectAtIndex(4).as<Dictionary>();
  EXPECT_EQ(descriptor->objectForKey("$classname").stringValue(), "NSDictionary");
  EXPECT_EQ(descriptor->objectForKey("$classes"), Value(Array::make({Value("NSDictionary"), Value("NSObject")})));
}

TEST(KeyedArchiverLayout, PlatformKeysOfValueObjects) {
  auto objectsOf = [](const Value& root) { return archiveAsPlist(root)->objectForKey("$objects").as<Array>(); };
  auto date = objectsOf(Value(Date::dateWithTimeIntervalSinceReferenceDate(10.5)))->objectAtIndex(1).as<Dictionary>();
  EXPECT_EQ(date->objectForKey("NS.time").doubleValue(), 10.5);
  auto uuid = objectsOf(Value(UUID::makeWithString("68753A44-4D6F-1226-9C60-0050E4C00067")))
                  ->objectAtIndex(1)
                  .as<Dictionary>();
  EXPECT_EQ(uuid->objectForKey("NS.uuidbytes").as<Data>()->length(), 16u);
  auto urlObjects = objectsOf(Value(URL::URLWithString("https://example.invalid/x")));
  auto url = urlObjects->objectAtIndex(1).as<Dictionary>();
  EXPECT_EQ(uidOf(url->objectForKey("NS.base")), 0u);
  EXPECT_EQ(urlObjects->objectAtIndex(uidOf(url->objectForKey("NS.relative"))).stringValue(),
            "https://example.invalid/x");
  auto error = objectsOf(Value(Error("D", 5)))->objectAtIndex(1).as<Dictionary>();
  EXPECT_EQ(error->objectForKey("NSCode").integerValue(), 5);
  EXPECT_FALSE(error->objectForKey("NSDomain").isNil());
  EXPECT_EQ(objectsOf(Value(String::makeMutable("m")))->objectAtIndex(1).as<Dictionary>()->objectForKey("NS.string").stringValue(), "m");
}

// Builds, with libplist alone, an archive as the platform lays it out: an
// NSMutableArray holding a string, a date and the same string again.
std::vector<std::uint8_t> platformArchive(std::uint64_t firstReference = 2) {
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "$version", plist_new_uint(100000));
  plist_dict_set_item(root, "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", plist_new_uid(1));
  plist_dict_set_item(root, "$top", top);
  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  plist_t array = plist_new_dict();
  plist_t elements = plist_new_array();
  plist_array_append_item(elements, plist_new_uid(firstReference));
  plist_array_append_item(elements, plist_new_uid(3));
  plist_array_append_item(elements, plist_new_uid(2));
  plist_dict_set_item(array, "NS.objects", elements);
  plist_dict_set_item(array, "$class", plist_new_uid(5));
  plist_array_append_item(objects, array);
  plist_array_append_item(objects, plist_new_string("shared"));
  plist_t date = plist_new_dict();
  plist_dict_set_item(date, "NS.time", plist_new_real(100.25));
  plist_dict_set_item(date, "$class", plist_new_uid(4));
  plist_array_append_item(objects, date);
  auto descriptor = [](const char* name, std::initializer_list<const char*> chain) {
    plist_t d = plist_new_dict();
    plist_dict_set_item(d, "$classname", plist_new_string(name));
    plist_t classes = plist_new_array();
    for (const char* c : chain) plist_array_append_item(classes, plist_new_string(c));
    plist_dict_set_item(d, "$classes", classes);
    return d;
  };
  plist_array_append_item(objects, descriptor("NSDate", {"NSDate", "NSObject"}));
  plist_array_append_item(objects, descriptor("NSMutableArray", {"NSMutableArray", "NSArray", "NSObject"}));
  plist_dict_set_item(root, "$objects", objects);
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  std::vector<std::uint8_t> data(bytes, bytes + length);
  plist_to_bin_free(bytes);
  plist_free(root);
  return data;
}

TEST(KeyedUnarchiverPlatformArchives, DecodeToTheExpectedValues) {
  auto decoded = KeyedUnarchiver::unarchivedObjectOfClasses(
      {&Array::staticClass(), &String::staticClass(), &Date::staticClass()}, platformArchive());
  ASSERT_TRUE(decoded) << decoded.error().description();
  auto array = decoded->as<Array>();
  ASSERT_TRUE(array);
  EXPECT_EQ(&array->objectClass(), &Array::mutableClass());
  ASSERT_EQ(array->count(), 3u);
  EXPECT_EQ(array->objectAtIndex(0).stringValue(), "shared");
  EXPECT_EQ(array->objectAtIndex(1).as<Date>()->timeIntervalSinceReferenceDate(), 100.25);
  // One entry, one object.
  EXPECT_EQ(array->objectAtIndex(0).get(), array->objectAtIndex(2).get());
}

TEST(KeyedUnarchiverSecurity, ClassesOutsideTheAllowedSetFailTheWholeDecode) {
  // The root itself.
  auto root = KeyedUnarchiver::unarchivedObjectOfClass(String::staticClass(), archive(Value(Array::make())));
  ASSERT_FALSE(root);
  EXPECT_TRUE(root.error().is(NSCocoaErrorDomain, NSCoderReadCorruptError));
  EXPECT_NE(debugDescription(root.error()).find("'NSArray'"), std::string::npos);
  EXPECT_NE(debugDescription(root.error()).find("'root'"), std::string::npos);

  // An element nested in an allowed container.
  auto nested = KeyedUnarchiver::unarchivedObjectOfClasses({&Array::staticClass(), &String::staticClass()},
                                                           archive(Value(Array::make({Value("a"), Value(1)}))));
  ASSERT_FALSE(nested);
  EXPECT_TRUE(nested.error().is(NSCocoaErrorDomain, NSCoderReadCorruptError));
  EXPECT_NE(debugDescription(nested.error()).find("'NSNumber'"), std::string::npos);

  // A subclass of an allowed class passes.
  auto subclass = KeyedUnarchiver::unarchivedObjectOfClasses({&Array::staticClass(), &Number::staticClass()},
                                                             archive(Value(Array::makeMutable({Value(1)}))));
  ASSERT_TRUE(subclass);

  // A model object's own keys are checked against what it allows.
  auto node = Node::make("n");
  node->extra = Value(Node::make("not a platform value"));
  auto model = KeyedUnarchiver::unarchivedObjectOfClass(Node::staticClass(), archive(Value(node)));
  ASSERT_FALSE(model);
  EXPECT_NE(debugDescription(model.error()).find("'$extra'"), std::string::npos);
}

TEST(KeyedArchiverGraphs, SharedObjectsStaySharedAndCyclesSurvive) {
  auto first = Node::make("first");
  auto second = Node::make("second");
  first->next = second;
  second->next = first;  // a cycle through model objects
  first->priority = 7;
  auto shared = String::make("shared");
  first->extra = Value(Array::make({Value(shared), Value(shared)}));

  auto decoded = roundTrip(Value(first), {&Node::staticClass()}).as<Node>();
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->name, "first");
  EXPECT_EQ(decoded->priority, 7);
  ASSERT_TRUE(decoded->next);
  EXPECT_EQ(decoded->next->name, "second");
  EXPECT_EQ(decoded->next->next, decoded);
  auto extra = decoded->extra.as<Array>();
  ASSERT_TRUE(extra);
  EXPECT_EQ(extra->objectAtIndex(0).get(), extra->objectAtIndex(1).get());
  decoded->next->next.reset();  // break the cycle so the test does not leak

  first->next.reset();
  second->next.reset();
}

TEST(KeyedArchiverGraphs, ConditionalObjectsNeedAnUnconditionalReference) {
  auto alone = Node::make("alone");
  auto peer = Node::make("peer");
  alone->weakPeer = peer;
  auto decoded = roundTrip(Value(alone), {&Node::staticClass()}).as<Node>();
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->weakPeer.expired());

  alone->next = peer;
  decoded = roundTrip(Value(alone), {&Node::staticClass()}).as<Node>();
  ASSERT_TRUE(decoded && decoded->next);
  EXPECT_EQ(decoded->weakPeer.lock(), decoded->next);
}

TEST(KeyedArchiverGraphs, KeysBeginningWithDollarAreEscaped) {
  auto node = Node::make("n");
  node->extra = Value("kept");
  auto plist = archiveAsPlist(Value(node));
  auto entry = plist->objectForKey("$objects").as<Array>()->objectAtIndex(1).as<Dictionary>();
  EXPECT_FALSE(entry->objectForKey("$$extra").isNil());
  EXPECT_TRUE(entry->objectForKey("$extra").isNil());
  EXPECT_EQ(roundTrip(Value(node), {&Node::staticClass()}).as<Node>()->extra.stringValue(), "kept");
}

TEST(KeyedArchiverGraphs, ObjectsThatCannotBeArchivedFailTheArchive) {
  class Opaque final : public Object {
   public:
    const Class& objectClass() const override { return Object::staticClass(); }
  };
  auto failed = KeyedArchiver::archivedDataWithRootObject(Value(Array::make({Value(std::make_shared<Opaque>())})));
  ASSERT_FALSE(failed);
  EXPECT_TRUE(failed.error().is(NSCocoaErrorDomain, NSCoderInvalidValueError));
}

// Replaces one object of a valid archive's "$objects" and re-serialises it.
std::vector<std::uint8_t> withObject(const std::vector<std::uint8_t>& data, std::size_t index, const Value& object) {
  auto plist = PropertyListSerialization::propertyListWithData(data);
  auto archive = plist->as<Dictionary>();
  std::vector<Value> objects = archive->objectForKey("$objects").as<Array>()->elements();
  if (index < objects.size()) {
    objects[index] = object;
  } else {
    objects.push_back(object);
  }
  auto changed = archive->dictionaryBySettingObject(Value(Array::make(std::move(objects))), Value("$objects"));
  return *PropertyListSerialization::dataWithPropertyList(Value(changed), PropertyListFormat::binary);
}

TEST(KeyedUnarchiverHostileInput, StructuralFaultsGiveTheCorruptArchiveError) {
  const auto& all = KeyedUnarchiver::platformClasses();
  auto expectCorrupt = [&](const std::vector<std::uint8_t>& data, const char* what) {
    auto decoded = KeyedUnarchiver::unarchivedObjectOfClasses(all, data);
    ASSERT_FALSE(decoded) << what;
    EXPECT_TRUE(decoded.error().is(NSCocoaErrorDomain, NSCoderReadCorruptError)) << what << ": "
                                                                                   << decoded.error().description();
  };
  expectCorrupt(platformArchive(99), "reference out of range");
  expectCorrupt(platformArchive(4), "reference to a class descriptor");
  expectCorrupt(platformArchive(1), "array containing itself");

  const auto valid = archive(Value(Array::make({Value("a")})));
  expectCorrupt(withObject(valid, 1, Value(Array::make())), "bare array in $objects");
  expectCorrupt(withObject(valid, 3, Value("not a class")), "class reference to a string");
  expectCorrupt(withObject(valid, 3, Value(Dictionary::make({{Value("$classname"), Value("NoSuchClass")}}))),
                "unknown class");
  expectCorrupt(withObject(valid, 1, Value(Dictionary::make({{Value("$class"), Value(UID::make(3))}}))),
                "array without its objects");
  expectCorrupt(*PropertyListSerialization::dataWithPropertyList(Value(Dictionary::make({{Value("a"), Value(1)}})),
                                                                 PropertyListFormat::binary),
                "not an archive");

  // Nesting beyond any record's depth.
  Value deep("leaf");
  for (int i = 0; i < 1000; ++i) deep = Value(Array::make({deep}));
  expectCorrupt(archive(deep), "deep nesting");

  auto notPlist = KeyedUnarchiver::unarchivedObjectOfClasses(all, std::vector<std::uint8_t>{'n', 'o', 'p', 'e'});
  ASSERT_FALSE(notPlist);
  EXPECT_TRUE(notPlist.error().is(NSCocoaErrorDomain, 3840));
  for (std::size_t length = 0; length < valid.size(); ++length) {
    auto truncated = KeyedUnarchiver::unarchivedObjectOfClasses(all, std::span(valid.data(), length));
    ASSERT_FALSE(truncated) << length;
    EXPECT_TRUE(truncated.error().is(NSCocoaErrorDomain, 3840) ||
                truncated.error().is(NSCocoaErrorDomain, NSCoderReadCorruptError));
  }
}

}  // namespace
}  // namespace fnd

namespace fnd {
namespace {

// An archive of one Node written key by key, so a test can give it keys no
// archiver writes: "name" appears twice, "first" then "last", and between
// them a key that is a number when `numberKey`, else "other".
std::vector<std::uint8_t> handWrittenNodeArchive(bool numberKey) {
  using Ref = plist_codec::BinaryPlistBuilder::Ref;
  plist_codec::BinaryPlistBuilder plist;
  const auto version = Number::numberWithInteger(keyed_archive::kVersion);
  const auto seven = Number::numberWithInteger(7);
  const Ref null = plist.string(keyed_archive::kNull);
  const Ref chain[] = {plist.string("KorviaTestNode"), plist.string("NSObject")};
  const Ref descriptorKeys[] = {plist.string("$classname"), plist.string("$classes")};
  const Ref descriptorValues[] = {chain[0], plist.array(chain)};
  const Ref descriptor = plist.dictionary(descriptorKeys, descriptorValues);
  const Ref first = plist.string("first");
  const Ref last = plist.string("last");
  const Ref name = plist.string("name");
  const Ref entryKeys[] = {plist.string("$class"), name, numberKey ? plist.scalar(*seven) : plist.string("other"), name};
  const Ref entryValues[] = {plist.uid(2), plist.uid(3), plist.uid(3), plist.uid(4)};
  const Ref entry = plist.dictionary(entryKeys, entryValues);
  const Ref objects[] = {null, entry, descriptor, first, last};
  const Ref rootKey = plist.string("root");
  const Ref rootUID = plist.uid(1);
  const Ref topKeys[] = {plist.string("$version"), plist.string("$archiver"), plist.string("$top"),
                         plist.string("$objects")};
  const Ref topValues[] = {plist.scalar(*version), plist.string("NSKeyedArchiver"),
                           plist.dictionary({&rootKey, 1}, {&rootUID, 1}), plist.array(objects)};
  return plist.finish(plist.dictionary(topKeys, topValues));
}

TEST(KeyedUnarchiverInPlace, ARepeatedKeyReadsAsItsLastValue) {
  auto decoded = KeyedUnarchiver::unarchivedObjectOfClass(Node::staticClass(), handWrittenNodeArchive(false));
  ASSERT_TRUE(decoded) << decoded.error().description();
  EXPECT_EQ(decoded->as<Node>()->name, "last");
}

// Keys are read as the decode asks for them; one that is no text fails the
// decode as a malformed property list, not as a wrong archive.
TEST(KeyedUnarchiverInPlace, AKeyThatIsNoTextFailsTheDecode) {
  auto decoded = KeyedUnarchiver::unarchivedObjectOfClass(Node::staticClass(), handWrittenNodeArchive(true));
  ASSERT_FALSE(decoded);
  EXPECT_TRUE(decoded.error().is(NSCocoaErrorDomain, NSPropertyListReadCorruptError)) << decoded.error().description();
  EXPECT_EQ(debugDescription(decoded.error()), "A dictionary key is not a string");
}

TEST(KeyedUnarchiverInPlace, AnArchiveInTheTextFormDecodesAsTheBinaryOne) {
  auto node = Node::make("text form");
  node->priority = 3;
  node->next = Node::make("second");
  node->extra = Value(Dictionary::make({{Value("κλειδί"), Value(Array::make({Value(1.5), Value(true)}))}}));
  auto tree = PropertyListSerialization::propertyListWithData(archive(Value(node)));
  ASSERT_TRUE(tree);
  auto text = PropertyListSerialization::dataWithPropertyList(*tree, PropertyListFormat::xml);
  ASSERT_TRUE(text);
  auto decoded = KeyedUnarchiver::unarchivedObjectOfClass(Node::staticClass(), *text);
  ASSERT_TRUE(decoded) << decoded.error().description();
  auto read = decoded->as<Node>();
  EXPECT_EQ(read->name, "text form");
  EXPECT_EQ(read->priority, 3);
  ASSERT_TRUE(read->next);
  EXPECT_EQ(read->next->name, "second");
  EXPECT_EQ(read->extra, node->extra);

  auto damaged = *text;
  damaged.resize(damaged.size() / 2);
  auto failed = KeyedUnarchiver::unarchivedObjectOfClass(Node::staticClass(), damaged);
  ASSERT_FALSE(failed);
  EXPECT_TRUE(failed.error().is(NSCocoaErrorDomain, NSPropertyListReadCorruptError));
}

}  // namespace
}  // namespace fnd
