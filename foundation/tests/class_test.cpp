#include "foundation/class.h"

#include <gtest/gtest.h>

#include "foundation/array.h"
#include "foundation/error.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "foundation/value.h"

namespace fnd {
namespace {

// A small model object declaring its properties the way model classes do.
class Shelf : public Object {
 public:
  static const Class& staticClass() {
    static const Class& cls = Class::define(
        "TestShelf", &Object::staticClass(), [] { return std::make_shared<Shelf>(); },
        {{"title", [](const Object& o) { return Value(static_cast<const Shelf&>(o).title); },
          [](Object& o, const Value& v) { static_cast<Shelf&>(o).title = v.stringValue().value_or(""); }},
         {"count", [](const Object& o) { return Value(static_cast<const Shelf&>(o).count); }, nullptr}});
    return cls;
  }
  const Class& objectClass() const override { return staticClass(); }

  std::string title;
  std::int64_t count = 3;
};

class CornerShelf final : public Shelf {
 public:
  static const Class& staticClass() {
    static const Class& cls = Class::define(
        "TestCornerShelf", &Shelf::staticClass(), [] { return std::make_shared<CornerShelf>(); },
        {{"angle", [](const Object& o) { return Value(static_cast<const CornerShelf&>(o).angle); },
          [](Object& o, const Value& v) { static_cast<CornerShelf&>(o).angle = v.doubleValue().value_or(0); }}});
    return cls;
  }
  const Class& objectClass() const override { return staticClass(); }

  double angle = 90;
};

TEST(ClassRegistry, PlatformClassesAreFoundByNameBeforeFirstUse) {
  const Class* mutableString = Class::named("NSMutableString");
  ASSERT_NE(mutableString, nullptr);
  EXPECT_TRUE(mutableString->isSubclassOfClass(String::staticClass()));
  EXPECT_FALSE(String::staticClass().isSubclassOfClass(*mutableString));
  EXPECT_EQ(mutableString->classChain(), (std::vector<std::string>{"NSMutableString", "NSString", "NSObject"}));
  for (const char* name : {"NSNumber", "NSData", "NSMutableData", "NSDate", "NSUUID", "NSURL", "NSArray",
                           "NSMutableArray", "NSDictionary", "NSMutableDictionary", "NSSet", "NSMutableSet",
                           "NSNull", "NSError"}) {
    EXPECT_NE(Class::named(name), nullptr) << name;
  }
  EXPECT_EQ(Class::named("NSNoSuchClass"), nullptr);
}

TEST(ClassRegistry, KindOfClassFollowsTheSuperclassChain) {
  Value mutableArray = Array::makeMutable();
  EXPECT_TRUE(mutableArray.isKindOfClass(Array::staticClass()));
  EXPECT_TRUE(mutableArray.isKindOfClass(Object::staticClass()));
  EXPECT_FALSE(mutableArray.get()->isMemberOfClass(Array::staticClass()));
  EXPECT_FALSE(mutableArray.isKindOfClass(String::staticClass()));
  EXPECT_FALSE(Value().isKindOfClass(Object::staticClass()));

  auto corner = std::make_shared<CornerShelf>();
  EXPECT_TRUE(corner->isKindOfClass(Shelf::staticClass()));
  EXPECT_FALSE(std::make_shared<Shelf>()->isKindOfClass(CornerShelf::staticClass()));
}

TEST(ClassRegistry, FactoriesMakeDefaultInstancesOfTheirClass) {
  (void)CornerShelf::staticClass();
  auto made = Class::named("TestCornerShelf")->makeInstance();
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->isMemberOfClass(CornerShelf::staticClass()));
  EXPECT_TRUE(Class::named("NSMutableString")->makeInstance()->isMemberOfClass(String::mutableClass()));
}

TEST(KeyValueAccess, ReadsAndWritesDeclaredPropertiesIncludingInherited) {
  auto shelf = std::make_shared<CornerShelf>();
  shelf->setValueForKey("Tools", "title");
  shelf->setValueForKey(45.5, "angle");
  EXPECT_EQ(shelf->title, "Tools");
  EXPECT_EQ(shelf->valueForKey("title"), Value("Tools"));
  EXPECT_EQ(shelf->valueForKey("angle"), Value(45.5));
  EXPECT_EQ(shelf->valueForKey("count"), Value(3));
  EXPECT_TRUE(shelf->hasPropertyForKey("count"));
  EXPECT_FALSE(shelf->hasPropertyForKey("colour"));
  ASSERT_EQ(CornerShelf::staticClass().declaredProperties().size(), 1u);
  EXPECT_NE(CornerShelf::staticClass().propertyNamed("title"), nullptr);
}

TEST(KeyValueAccessDeathTest, UnknownOrReadOnlyKeysAreProgrammingErrors) {
  auto shelf = std::make_shared<Shelf>();
  EXPECT_DEATH((void)shelf->valueForKey("colour"), "Invalid parameter not satisfying: property != nullptr");
  EXPECT_DEATH(shelf->setValueForKey(4, "count"), "Invalid parameter not satisfying: property != nullptr && property->set");
}

TEST(ClassRegistryDeathTest, TwoClassesOfOneNameAreRefused) {
  (void)Shelf::staticClass();
  EXPECT_DEATH((void)Class::define("TestShelf", &Object::staticClass()), "Invalid parameter not satisfying");
}

}  // namespace
}  // namespace fnd
