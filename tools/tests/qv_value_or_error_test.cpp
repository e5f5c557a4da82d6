#include "tools/qv_value_or_error.h"

#include <gtest/gtest.h>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/property_list.h"
#include "foundation/string.h"
#include "foundation/uid.h"

namespace {

using fnd::Value;

const fnd::Error kFailure("com.korvia.default-error-domain", -401001);

TEST(QVValueOrError, CombinatorsLookOnlyAtTheirOwnField) {
  auto success = QVValueOrError::initWithValue(Value("v"));
  auto failure = QVValueOrError::initWithError(kFailure);

  int calls = 0;
  EXPECT_EQ(failure->liftValue([&](const Value&) { ++calls; return Value("x"); }), failure);
  EXPECT_EQ(success->liftError([&](const fnd::Error& e) { ++calls; return e; }), success);
  EXPECT_EQ(calls, 0);

  auto mapped = success->liftValue([&](const Value& v) { ++calls; return Value(*v.stringValue() + "!"); });
  EXPECT_EQ(calls, 1);
  EXPECT_NE(mapped, success);
  EXPECT_EQ(mapped->value().stringValue(), "v!");
  auto translated = failure->liftError([](const fnd::Error&) { return fnd::Error(fnd::NSCocoaErrorDomain, 4); });
  EXPECT_TRUE(translated->error()->is(fnd::NSCocoaErrorDomain, 4));

  for (const auto& result : {success, failure}) {
    int values = 0, errors = 0;
    result->onValue([&](const Value&) { ++values; });
    result->onError([&](const fnd::Error&) { ++errors; });
    EXPECT_EQ(values + errors, 1);
  }
  EXPECT_EQ(success->copy().get(), success.get());
}

TEST(QVValueOrError, ArchivesUnderValueAndErrorKeys) {
  auto success = QVValueOrError::initWithValue(Value(fnd::Array::make({Value(1), Value("two")})));
  auto data = fnd::KeyedArchiver::archivedDataWithRootObject(Value(success));
  ASSERT_TRUE(data) << data.error().description();
  auto plist = fnd::PropertyListSerialization::propertyListWithData(*data);
  auto entry = plist->as<fnd::Dictionary>()->objectForKey("$objects").as<fnd::Array>()->objectAtIndex(1).as<fnd::Dictionary>();
  EXPECT_FALSE(entry->objectForKey("value").isNil());
  EXPECT_TRUE(entry->objectForKey("error").isNil() || entry->objectForKey("error").as<fnd::UID>()->value() == 0);

  fnd::KeyedUnarchiver::ClassList classes = fnd::KeyedUnarchiver::platformClasses();
  classes.push_back(&QVValueOrError::staticClass());
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(classes, *data);
  ASSERT_TRUE(decoded) << decoded.error().description();
  EXPECT_EQ(*decoded, Value(success));

  auto failure = QVValueOrError::initWithError(kFailure.errorBySettingUserInfoValue(Value("Boom."), fnd::NSLocalizedDescriptionKey));
  auto failed = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(classes, *fnd::KeyedArchiver::archivedDataWithRootObject(Value(failure)));
  ASSERT_TRUE(failed);
  EXPECT_EQ(*failed->as<QVValueOrError>()->error(), *failure->error());
  EXPECT_TRUE(failed->as<QVValueOrError>()->value().isNil());
}

TEST(QVValueOrError, ValueOutsideTheAllowedClassesFailsTheDecode) {
  auto success = QVValueOrError::initWithValue(Value("text"));
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(
      {&QVValueOrError::staticClass(), &fnd::Array::staticClass()},
      *fnd::KeyedArchiver::archivedDataWithRootObject(Value(success)));
  ASSERT_FALSE(decoded);
  EXPECT_TRUE(decoded.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));
}

TEST(QVValueOrErrorDeathTest, MakersAndMappingsRequireAValue) {
  EXPECT_DEATH(QVValueOrError::initWithValue(Value()), "Invalid parameter not satisfying: nil != value");
  auto success = QVValueOrError::initWithValue(Value(1));
  EXPECT_DEATH(success->liftValue([](const Value&) { return Value(); }),
               "Invalid parameter not satisfying: nil != value");
}

}  // namespace
