#pragma once

// Checks every record class the same way: the archive holds exactly the
// table's keys, decoding gives back the same properties, a value of a class
// the table does not allow fails the decode, and a missing key decodes as
// the declared default (or fails for a scalar without one).

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/property_list.h"
#include "foundation/set.h"
#include "foundation/uid.h"
#include "interface/model/afx_coded_model_object.h"
#include "tools/qv_class_reflection.h"

namespace record_coding {

struct RecordCase {
  std::string name;
  std::function<fnd::Value()> make;
  // The keys the archive must hold, from the record's documented table.
  std::set<std::string> keys;
  // Keys whose getter falls back to another value when nothing is stored.
  std::set<std::string> derivedKeys = {};
  // Keys the record codes by hand beside its table (sets of records and
  // identifiers); a missing one decodes as an empty set.
  std::set<std::string> handCodedKeys = {};
};

inline std::ostream& operator<<(std::ostream& out, const RecordCase& c) { return out << c.name; }

inline std::vector<std::uint8_t> archive(const fnd::Value& root) {
  auto data = fnd::KeyedArchiver::archivedDataWithRootObject(root);
  EXPECT_TRUE(data) << data.error().description();
  return data ? *data : std::vector<std::uint8_t>{};
}

// The archive read back as a plain property list: the root entry of
// "$objects".
inline std::shared_ptr<fnd::Dictionary> rootEntry(const std::vector<std::uint8_t>& data) {
  auto plist = fnd::PropertyListSerialization::propertyListWithData(data);
  if (!plist) return nullptr;
  auto top = plist->as<fnd::Dictionary>()->objectForKey("$top").as<fnd::Dictionary>();
  auto uid = top->objectForKey("root").as<fnd::UID>();
  auto objects = plist->as<fnd::Dictionary>()->objectForKey("$objects").as<fnd::Array>();
  return objects->objectAtIndex(uid->value()).as<fnd::Dictionary>();
}

// The value the archive stores under `key` of the root entry, resolved.
inline fnd::Value archivedValue(const std::vector<std::uint8_t>& data, const std::string& key) {
  auto plist = *fnd::PropertyListSerialization::propertyListWithData(data);
  auto objects = plist.as<fnd::Dictionary>()->objectForKey("$objects").as<fnd::Array>();
  auto entry = rootEntry(data);
  fnd::Value value = entry->objectForKey(key);
  if (auto uid = value.as<fnd::UID>()) return objects->objectAtIndex(uid->value());
  return value;
}

// The archive with the root entry's `key` set to `value` (removed for nil).
inline std::vector<std::uint8_t> withKey(const std::vector<std::uint8_t>& data, const std::string& key,
                                         const fnd::Value& value) {
  auto plist = *fnd::PropertyListSerialization::propertyListWithData(data);
  auto dictionary = plist.as<fnd::Dictionary>();
  auto rootUID = dictionary->objectForKey("$top").as<fnd::Dictionary>()->objectForKey("root").as<fnd::UID>()->value();
  std::vector<fnd::Value> objects = dictionary->objectForKey("$objects").as<fnd::Array>()->elements();
  auto entry = objects[rootUID].as<fnd::Dictionary>();
  if (value.isNil()) {
    objects[rootUID] = fnd::Value(entry->dictionaryBySettingObject(fnd::Value(), fnd::Value(key)));
  } else {
    objects[rootUID] =
        fnd::Value(entry->dictionaryBySettingObject(fnd::Value(fnd::UID::make(objects.size())), fnd::Value(key)));
    objects.push_back(value);
  }
  auto changed =
      dictionary->dictionaryBySettingObject(fnd::Value(fnd::Array::make(std::move(objects))), fnd::Value("$objects"));
  return *fnd::PropertyListSerialization::dataWithPropertyList(fnd::Value(changed), fnd::PropertyListFormat::binary);
}

// Equal property by property: records with a table are compared through
// it, everything else by its own equality.
inline bool sameProperties(const fnd::Value& a, const fnd::Value& b, std::string* difference, const std::string& path) {
  if (a.isNil() || b.isNil()) {
    if (a.isNil() != b.isNil()) *difference = path + ": " + a.description() + " vs " + b.description();
    return a.isNil() == b.isNil();
  }
  // Sets of records: every element has an equal partner with the same
  // properties.
  if (auto setA = a.as<fnd::Set>(), setB = b.as<fnd::Set>(); setA && setB) {
    if (setA->count() != setB->count()) {
      *difference = path + ": " + a.description() + " vs " + b.description();
      return false;
    }
    for (const auto& element : setA->elements()) {
      auto partner = std::find(setB->elements().begin(), setB->elements().end(), element);
      if (partner == setB->elements().end()) {
        *difference = path + ": no partner for " + element.description();
        return false;
      }
      if (!sameProperties(element, *partner, difference, path + "[]")) return false;
    }
    return true;
  }
  auto table = QVClassReflection::reflection(a->objectClass());
  if (!table || table->propertyReflections().empty() || &a->objectClass() != &b->objectClass()) {
    if (!a.isEqual(b)) *difference = path + ": " + a.description() + " vs " + b.description();
    return a.isEqual(b);
  }
  for (const auto& property : table->propertyReflections()) {
    if (!sameProperties(a->valueForKey(property->key()), b->valueForKey(property->key()), difference,
                        path + "." + property->key())) {
      return false;
    }
  }
  return true;
}

inline std::set<std::string> tableKeys(const fnd::Class& cls) {
  std::set<std::string> keys;
  for (const auto& property : QVClassReflection::reflection(cls)->propertyReflections()) keys.insert(property->key());
  return keys;
}

inline void checkRecordCoding(const RecordCase& recordCase) {
  SCOPED_TRACE(recordCase.name);
  const fnd::Value record = recordCase.make();
  const fnd::Class& cls = record->objectClass();
  const auto data = archive(record);
  ASSERT_FALSE(data.empty());

  // Exactly the table's keys, and the table is the documented one.
  EXPECT_EQ(tableKeys(cls), recordCase.keys);
  std::set<std::string> archived;
  const auto entry = rootEntry(data);
  for (const auto& [key, value] : entry->entries()) {
    if (*key.stringValue() != "$class") archived.insert(*key.stringValue());
  }
  std::set<std::string> expectedArchived = recordCase.keys;
  expectedArchived.insert(recordCase.handCodedKeys.begin(), recordCase.handCodedKeys.end());
  EXPECT_EQ(archived, expectedArchived);

  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(cls, data);
  ASSERT_TRUE(decoded) << decoded.error().description();
  EXPECT_EQ(&(*decoded)->objectClass(), &cls);
  std::string difference;
  EXPECT_TRUE(sameProperties(record, *decoded, &difference, recordCase.name)) << difference;
  for (const auto& key : recordCase.handCodedKeys) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(sameProperties(record->valueForKey(key), (*decoded)->valueForKey(key), &difference, key)) << difference;
    auto wrongClass = fnd::KeyedUnarchiver::unarchivedObjectOfClass(cls, withKey(data, key, fnd::Value(fnd::Data::make("bytes"))));
    ASSERT_FALSE(wrongClass);
    EXPECT_TRUE(wrongClass.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));
    auto missing = fnd::KeyedUnarchiver::unarchivedObjectOfClass(cls, withKey(data, key, fnd::Value()));
    ASSERT_TRUE(missing) << missing.error().description();
    auto empty = (*missing)->valueForKey(key).as<fnd::Set>();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->count(), 0u);
  }

  auto table = QVClassReflection::reflection(cls);
  for (const auto& property : table->propertyReflections()) {
    SCOPED_TRACE(property->key());
    // Bytes where they are not allowed, else text.
    const auto allowed = property->decodingClasses();
    const bool allowsData = std::find(allowed.begin(), allowed.end(), &fnd::Data::staticClass()) != allowed.end();
    const fnd::Value wrong = allowsData ? fnd::Value("not bytes") : fnd::Value(fnd::Data::make("bytes"));
    auto wrongClass = fnd::KeyedUnarchiver::unarchivedObjectOfClass(cls, withKey(data, property->key(), wrong));
    ASSERT_FALSE(wrongClass);
    EXPECT_TRUE(wrongClass.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));

    auto missing = fnd::KeyedUnarchiver::unarchivedObjectOfClass(cls, withKey(data, property->key(), fnd::Value()));
    const bool scalar = record->isScalarPropertyForKey(property->key());
    if (scalar && property->defaultValue().isNil()) {
      ASSERT_FALSE(missing);
      EXPECT_TRUE(missing.error().is(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError));
    } else {
      ASSERT_TRUE(missing) << missing.error().description();
      if (recordCase.derivedKeys.contains(property->key())) continue;
      const fnd::Value expected = property->defaultValue();
      const fnd::Value actual = (*missing)->valueForKey(property->key());
      EXPECT_TRUE(expected.isEqual(actual)) << actual.description();
    }
  }
}

// Checks a storable record's twins: the managed twin made from the coded
// one is of the pair's managed class and entity, holds the documented table,
// and copies and archives as a coded record with the same properties.
struct TwinCase {
  std::string name;
  std::function<fnd::Value()> makeCoded;
  std::string entityName;
  std::set<std::string> managedKeys;
};

inline std::ostream& operator<<(std::ostream& out, const TwinCase& c) { return out << c.name; }

inline void checkTwins(const TwinCase& twinCase) {
  SCOPED_TRACE(twinCase.name);
  const fnd::Value coded = twinCase.makeCoded();
  const auto& record = dynamic_cast<const AFXManagableModelObject&>(*coded.get());
  auto context = AFXManagedObjectContext::create();
  auto managed = makeManagedInstance(*coded.get(), *context);
  ASSERT_TRUE(managed);
  EXPECT_EQ(&managed->objectClass(), &record.classForManagedInstance());
  EXPECT_EQ(&managed->classForCodedInstance(), &coded->objectClass());
  EXPECT_EQ(managed->entityName(), twinCase.entityName);
  EXPECT_EQ(context->objectsOfEntity(twinCase.entityName).size(), 1u);
  EXPECT_EQ(tableKeys(managed->objectClass()), twinCase.managedKeys);

  std::string difference;
  auto compareShared = [&](const fnd::Value& other) {
    for (const auto& key : twinCase.managedKeys) {
      EXPECT_TRUE(sameProperties(coded->valueForKey(key), other->valueForKey(key), &difference, key)) << difference;
    }
  };
  compareShared(fnd::Value(managed));

  auto copy = managed->copy();
  ASSERT_TRUE(copy);
  EXPECT_EQ(&copy->objectClass(), &coded->objectClass());
  compareShared(fnd::Value(copy));

  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(coded->objectClass(), archive(fnd::Value(managed)));
  ASSERT_TRUE(decoded) << decoded.error().description();
  EXPECT_EQ(&(*decoded)->objectClass(), &coded->objectClass());
  compareShared(*decoded);
}

}  // namespace record_coding
