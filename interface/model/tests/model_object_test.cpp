#include <gtest/gtest.h>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/string.h"
#include "foundation/uid.h"
#include <algorithm>
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_coded_model_object.h"
#include "tools/qv_class_reflection.h"
#include "tools/qv_enum_value_transformer.h"

namespace {

using fnd::Value;

// A record as the catalogue's are: a name, a scalar priority, an enumeration
// archived by name, and a strings map that must never decode as nothing.
class TestRecord : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass() {
    static const fnd::Class& cls = []() -> const fnd::Class& {
      const fnd::Class& c = fnd::Class::define(
          "KorviaTestRecord", &AFXBaseMutableModelObject::staticClass(),
          [] { return std::shared_ptr<TestRecord>(new TestRecord); },
          {{"name", [](const fnd::Object& o) { return Value(self(o).name); },
            [](fnd::Object& o, const Value& v) { self(o).name = v.stringValue().value_or(""); }},
           {"priority", [](const fnd::Object& o) { return Value(self(o).priority); },
            [](fnd::Object& o, const Value& v) { self(o).priority = *v.integerValue(); }, true},
           {"state", [](const fnd::Object& o) { return Value(self(o).state); },
            [](fnd::Object& o, const Value& v) { self(o).state = *v.integerValue(); }, true},
           {"strings", [](const fnd::Object& o) { return Value(self(o).strings); },
            [](fnd::Object& o, const Value& v) { self(o).strings = v.as<fnd::Dictionary>(); }}});
      QVClassReflection::registerMakeReflection(c, &TestRecord::makeReflection);
      return c;
    }();
    return cls;
  }
  static std::shared_ptr<QVClassReflection> makeReflection() {
    auto reflection = AFXBaseMutableModelObject::makeReflection();
    reflection->addPropertyForSelector("name", fnd::String::staticClass());
    reflection->addPropertyForSelector("priority", fnd::Number::staticClass());
    reflection->addPropertyForSelector(
        "state", {&fnd::Number::staticClass()}, Value(0),
        QVEnumValueTransformer::initWithMapping({{0, "unknown"}, {1, "active"}, {2, "expired"}}, 0));
    reflection->addPropertyForSelector("strings", fnd::Dictionary::staticClass(), {&fnd::String::staticClass()},
                                       Value(fnd::Dictionary::make()), nullptr);
    return reflection;
  }
  static std::shared_ptr<TestRecord> make() {
    (void)staticClass();
    return std::shared_ptr<TestRecord>(new TestRecord);
  }
  const fnd::Class& objectClass() const override { return staticClass(); }

  std::string name;
  std::int64_t priority = 0;
  std::int64_t state = 0;
  std::shared_ptr<fnd::Dictionary> strings;

 private:
  static TestRecord& self(fnd::Object& o) { return static_cast<TestRecord&>(o); }
  static const TestRecord& self(const fnd::Object& o) { return static_cast<const TestRecord&>(o); }
};

// A record whose subclass adds a property to the base table.
class TestSubrecord final : public TestRecord {
 public:
  static const fnd::Class& staticClass() {
    static const fnd::Class& cls = []() -> const fnd::Class& {
      const fnd::Class& c = fnd::Class::define(
          "KorviaTestSubrecord", &TestRecord::staticClass(), [] { return std::shared_ptr<TestSubrecord>(new TestSubrecord); },
          {{"extra", [](const fnd::Object& o) { return Value(static_cast<const TestSubrecord&>(o).extra); },
            [](fnd::Object& o, const Value& v) { static_cast<TestSubrecord&>(o).extra = v.stringValue().value_or(""); }}});
      QVClassReflection::registerMakeReflection(c, [] {
        auto reflection = TestRecord::makeReflection();
        reflection->addPropertyForSelector("extra", fnd::String::staticClass());
        return reflection;
      });
      return c;
    }();
    return cls;
  }
  const fnd::Class& objectClass() const override { return staticClass(); }
  std::string extra;
};

class TestCodedTwin;
class TestManagedTwin;

class TestCodedTwin final : public AFXCodedModelObject {
 public:
  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return staticClass(); }
  const fnd::Class& classForManagedInstance() const override;
  std::string name;
};

class TestManagedTwin final : public AFXManagedModelObject {
 public:
  static const fnd::Class& staticClass();
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& classForCodedInstance() const override { return TestCodedTwin::staticClass(); }
  const fnd::Class& classForManagedInstance() const override { return staticClass(); }
  std::string entityName() const override { return "TestTwin"; }
  std::string name;
};

std::shared_ptr<QVClassReflection> makeTwinReflection() {
  auto reflection = QVClassReflection::makeReflection();
  reflection->addPropertyForSelector("name", fnd::String::staticClass());
  return reflection;
}

template <class Twin>
const fnd::Class& defineTwin(const char* name, const fnd::Class& base) {
  const fnd::Class& cls = fnd::Class::define(
      name, &base, [] { return std::shared_ptr<Twin>(new Twin); },
      {{"name", [](const fnd::Object& o) { return Value(static_cast<const Twin&>(o).name); },
        [](fnd::Object& o, const Value& v) { static_cast<Twin&>(o).name = v.stringValue().value_or(""); }}});
  QVClassReflection::registerMakeReflection(cls, &makeTwinReflection);
  return cls;
}

const fnd::Class& TestCodedTwin::staticClass() {
  static const fnd::Class& cls = defineTwin<TestCodedTwin>("KorviaTestCodedTwin", AFXCodedModelObject::staticClass());
  return cls;
}

const fnd::Class& TestManagedTwin::staticClass() {
  static const fnd::Class& cls =
      defineTwin<TestManagedTwin>("KorviaTestManagedTwin", AFXManagedModelObject::staticClass());
  return cls;
}

const fnd::Class& TestCodedTwin::classForManagedInstance() const { return TestManagedTwin::staticClass(); }

fnd::KeyedUnarchiver::ClassList recordClasses() {
  return {&TestRecord::staticClass(), &TestCodedTwin::staticClass()};
}

std::vector<std::uint8_t> archive(const Value& root) {
  auto data = fnd::KeyedArchiver::archivedDataWithRootObject(root);
  EXPECT_TRUE(data) << data.error().description();
  return data ? *data : std::vector<std::uint8_t>{};
}

std::shared_ptr<fnd::Dictionary> rootEntry(const std::vector<std::uint8_t>& data) {
  auto plist = fnd::PropertyListSerialization::propertyListWithData(data);
  return plist->as<fnd::Dictionary>()->objectForKey("$objects").as<fnd::Array>()->objectAtIndex(1).as<fnd::Dictionary>();
}

TEST(ModelObjectCoding, ArchivesExactlyTheDeclaredKeys) {
  auto record = TestRecord::make();
  record->name = "Chronofold";
  record->priority = 2;
  record->state = 1;
  record->strings = fnd::Dictionary::make({{Value("title"), Value("Hello")}});
  auto entry = rootEntry(archive(Value(record)));
  std::vector<std::string> keys;
  for (const auto& [key, value] : entry->entries()) keys.push_back(*key.stringValue());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"$class", "name", "priority", "state", "strings"}));

  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(recordClasses(), archive(Value(record)));
  ASSERT_TRUE(decoded) << decoded.error().description();
  auto copy = decoded->as<TestRecord>();
  EXPECT_EQ(copy->name, "Chronofold");
  EXPECT_EQ(copy->priority, 2);
  EXPECT_EQ(copy->state, 1);
  EXPECT_EQ(copy->strings->objectForKey("title").stringValue(), "Hello");
}

// Rewrites one key of the archived record.
std::vector<std::uint8_t> withKey(const std::vector<std::uint8_t>& data, const char* key, const Value& value) {
  auto plist = *fnd::PropertyListSerialization::propertyListWithData(data);
  auto archiveDictionary = plist.as<fnd::Dictionary>();
  std::vector<Value> objects = archiveDictionary->objectForKey("$objects").as<fnd::Array>()->elements();
  auto entry = objects[1].as<fnd::Dictionary>();
  objects[1] = Value(value.isNil() ? entry->dictionaryBySettingObject(Value(), Value(key))
                                   : entry->dictionaryBySettingObject(Value(fnd::UID::make(objects.size())), Value(key)));
  if (!value.isNil()) objects.push_back(value);
  auto changed = archiveDictionary->dictionaryBySettingObject(Value(fnd::Array::make(std::move(objects))), Value("$objects"));
  return *fnd::PropertyListSerialization::dataWithPropertyList(Value(changed), fnd::PropertyListFormat::binary);
}

TEST(ModelObjectCoding, DecodingFollowsTheDeclarations) {
  auto record = TestRecord::make();
  record->name = "n";
  record->state = 2;
  const auto data = archive(Value(record));

  auto wrongClass = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(recordClasses(), withKey(data, "name", Value(5)));
  ASSERT_FALSE(wrongClass);
  EXPECT_TRUE(wrongClass.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));

  auto unknownName = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(recordClasses(), withKey(data, "state", Value("retired")));
  ASSERT_TRUE(unknownName) << unknownName.error().description();
  EXPECT_EQ(unknownName->as<TestRecord>()->state, 0);

  auto noStrings = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(recordClasses(), withKey(data, "strings", Value()));
  ASSERT_TRUE(noStrings);
  ASSERT_TRUE(noStrings->as<TestRecord>()->strings);
  EXPECT_EQ(noStrings->as<TestRecord>()->strings->count(), 0u);

  // A scalar without a value and without a default cannot be stored.
  auto noPriority = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(recordClasses(), withKey(data, "priority", Value()));
  ASSERT_FALSE(noPriority);
  EXPECT_TRUE(noPriority.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));
}

TEST(ModelObjectReflection, TablesIncludeTheBaseAndKeepTheFirstDeclaration) {
  auto table = QVClassReflection::reflection(TestSubrecord::staticClass());
  ASSERT_TRUE(table);
  EXPECT_TRUE(table->propertyReflectionForKey("name"));
  EXPECT_TRUE(table->propertyReflectionForKey("extra"));
  EXPECT_EQ(table, QVClassReflection::reflection(TestSubrecord::staticClass()));  // built once

  QVClassReflection reflection;
  reflection.addPropertyForSelector("key", fnd::String::staticClass());
  reflection.addPropertyForSelector("key", fnd::Number::staticClass());
  ASSERT_EQ(reflection.propertyReflections().size(), 1u);
  EXPECT_EQ(reflection.propertyReflections()[0]->objectClasses()[0], &fnd::String::staticClass());
  EXPECT_EQ(reflection.propertyReflectionForKey("key")->objectClasses()[0], &fnd::Number::staticClass());

  auto transformer = QVEnumValueTransformer::initWithMapping({{1, "one"}}, 7);
  EXPECT_EQ(transformer->transformedValue(Value(1)).stringValue(), "one");
  EXPECT_TRUE(transformer->transformedValue(Value(2)).isNil());
  EXPECT_EQ(transformer->reverseTransformedValue(Value("one")).integerValue(), 1);
  EXPECT_EQ(transformer->reverseTransformedValue(Value()).integerValue(), 7);
}

// A table whose property class is first defined while the table is built:
// that class registers its own maker from inside the building.
TEST(ModelObjectReflection, APropertyClassDefinedWhileATableIsBuiltRegistersItsMaker) {
  static const fnd::Class& (*lateClass)() = [] () -> const fnd::Class& {
    static const fnd::Class& cls = [] () -> const fnd::Class& {
      const fnd::Class& c = fnd::Class::define("KorviaTestLateField", &AFXBaseModelObject::staticClass(), nullptr, {});
      QVClassReflection::registerMakeReflection(c, [] { return AFXBaseModelObject::makeReflection(); });
      return c;
    }();
    return cls;
  };
  const fnd::Class& holder = fnd::Class::define("KorviaTestLateHolder", &AFXBaseModelObject::staticClass(), nullptr, {});
  QVClassReflection::registerMakeReflection(holder, [] {
    auto reflection = AFXBaseModelObject::makeReflection();
    reflection->addPropertyForSelector("field", lateClass());
    return reflection;
  });
  auto table = QVClassReflection::reflection(holder);
  ASSERT_TRUE(table && table->propertyReflectionForKey("field"));
  EXPECT_EQ(table->propertyReflectionForKey("field")->objectClasses()[0], &lateClass());
  EXPECT_TRUE(QVClassReflection::reflection(lateClass()));
}

TEST(ModelObjectCopying, FollowsEachFamilysRule) {
  auto record = TestRecord::make();
  record->name = "copy me";
  auto copy = std::dynamic_pointer_cast<TestRecord>(record->copy());
  ASSERT_TRUE(copy);
  EXPECT_NE(copy, record);
  EXPECT_EQ(copy->name, "copy me");
}

TEST(ModelObjectCopying, ManagedTwinsCopyAndArchiveAsCodedTwins) {
  auto context = AFXManagedObjectContext::create();
  auto managed = std::dynamic_pointer_cast<TestManagedTwin>(
      AFXManagedModelObject::makeInContext(TestManagedTwin::staticClass(), *context));
  ASSERT_TRUE(managed);
  managed->name = "stored";
  EXPECT_EQ(managed->managedObjectContext(), context);
  EXPECT_EQ(context->objectsOfEntity("TestTwin").size(), 1u);

  auto copy = std::dynamic_pointer_cast<TestCodedTwin>(managed->copy());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->name, "stored");

  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(recordClasses(), archive(Value(managed)));
  ASSERT_TRUE(decoded) << decoded.error().description();
  ASSERT_TRUE(decoded->as<TestCodedTwin>());
  EXPECT_EQ(decoded->as<TestCodedTwin>()->name, "stored");

  auto back = std::dynamic_pointer_cast<TestManagedTwin>(makeManagedInstance(*copy, *context));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->name, "stored");
  EXPECT_EQ(context->objectsOfEntity("TestTwin").size(), 2u);
}

TEST(ModelObjectCopying, ImmutableRecordsCopyAsThemselves) {
  class Immutable final : public AFXBaseModelObject {
   public:
    const fnd::Class& objectClass() const override { return AFXBaseModelObject::staticClass(); }
  };
  auto record = std::make_shared<Immutable>();
  EXPECT_EQ(record->copy().get(), record.get());
}

}  // namespace
