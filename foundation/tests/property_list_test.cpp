#include "foundation/property_list.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/uid.h"
#include "foundation/url.h"
#include "foundation/uuid.h"

namespace fnd {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr PropertyListFormat kBothFormats[] = {PropertyListFormat::binary, PropertyListFormat::xml};

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes write(const Value& plist, PropertyListFormat format) {
  auto bytes = PropertyListSerialization::dataWithPropertyList(plist, format);
  EXPECT_TRUE(bytes) << bytes.error().description();
  return bytes ? *bytes : Bytes{};
}

Value roundTrip(const Value& plist, PropertyListFormat format) {
  auto read = PropertyListSerialization::propertyListWithData(write(plist, format));
  EXPECT_TRUE(read) << read.error().description();
  return read ? *read : Value();
}

void expectCorrupt(std::span<const std::uint8_t> bytes, const std::string& what) {
  auto read = PropertyListSerialization::propertyListWithData(bytes);
  ASSERT_FALSE(read) << what;
  EXPECT_TRUE(read.error().is(NSCocoaErrorDomain, NSPropertyListReadCorruptError)) << what;
  EXPECT_TRUE(read.error().userInfoValue(NSDebugDescriptionErrorKey).stringValue()) << what;
}

Number::Kind kindOf(const Value& value) { return value.as<Number>()->kind(); }

// ---------------------------------------------------------------------------
// Round trips

Value richTree(double dateFraction) {
  return Value(Dictionary::make({
      {Value("text"), Value("plain")},
      {Value("unicode"), Value("gr\u00fc\u00df \u65e5\u672c \U0001F600 & <tags> ]]>")},
      {Value("empty text"), Value("")},
      {Value("max unsigned"), Value(std::numeric_limits<std::uint64_t>::max())},
      {Value("max signed"), Value(std::numeric_limits<std::int64_t>::max())},
      {Value("min signed"), Value(std::numeric_limits<std::int64_t>::min())},
      {Value("minus one"), Value(std::int64_t{-1})},
      {Value("byte"), Value(std::int64_t{200})},
      {Value("zero"), Value(std::int64_t{0})},
      {Value("one"), Value(std::int64_t{1})},
      {Value("yes"), Value(true)},
      {Value("no"), Value(false)},
      {Value("real"), Value(-0.1)},
      {Value("tiny real"), Value(5e-324)},
      {Value("huge real"), Value(1.7976931348623157e308)},
      {Value("whole real"), Value(3.0)},
      {Value("before 1970"), Value(Date::dateWithTimeIntervalSince1970(-86400.0 * 365 * 20 + dateFraction))},
      {Value("reference date"), Value(Date::dateWithTimeIntervalSinceReferenceDate(dateFraction))},
      {Value("data"), Value(Data::make(std::string_view("\x00\xFF\x00\x10", 4)))},
      {Value("empty data"), Value(Data::make(Bytes{}))},
      {Value("empty array"), Value(Array::make())},
      {Value("empty dictionary"), Value(Dictionary::make())},
      {Value("nested"), Value(Array::make({Value(Dictionary::make({{Value("k"), Value(Array::make({Value("v")}))}})),
                                           Value("v"), Value(std::int64_t{-5})}))},
  }));
}

TEST(PropertyListRoundTrip, RichTreesComeBackEqualAndOfTheSameKinds) {
  for (const PropertyListFormat format : kBothFormats) {
    SCOPED_TRACE(format == PropertyListFormat::binary ? "binary" : "xml");
    // XML keeps whole seconds, so its dates carry no fraction here.
    const Value tree = richTree(format == PropertyListFormat::xml ? 0.0 : 0.25);
    PropertyListFormat detected{};
    auto read = PropertyListSerialization::propertyListWithData(write(tree, format), &detected);
    ASSERT_TRUE(read) << read.error().description();
    EXPECT_EQ(detected, format);
    EXPECT_EQ(*read, tree);
    // Numbers of different kinds compare equal (true == 1), so the kinds
    // need checking on their own.
    auto dictionary = read->as<Dictionary>();
    EXPECT_EQ(kindOf(dictionary->objectForKey("yes")), Number::Kind::boolean);
    EXPECT_EQ(kindOf(dictionary->objectForKey("no")), Number::Kind::boolean);
    EXPECT_EQ(kindOf(dictionary->objectForKey("one")), Number::Kind::integer);
    EXPECT_EQ(kindOf(dictionary->objectForKey("zero")), Number::Kind::integer);
    EXPECT_EQ(kindOf(dictionary->objectForKey("whole real")), Number::Kind::real);
    EXPECT_EQ(kindOf(dictionary->objectForKey("max unsigned")), Number::Kind::unsignedInteger);
    EXPECT_EQ(dictionary->objectForKey("max unsigned").as<Number>()->unsignedIntegerValue(),
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(kindOf(dictionary->objectForKey("minus one")), Number::Kind::integer);
    EXPECT_EQ(dictionary->objectForKey("minus one").integerValue(), -1);
    EXPECT_EQ(dictionary->objectForKey("min signed").integerValue(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(dictionary->objectForKey("data").as<Data>()->length(), 4u);
    // Entries come back in document order.
    std::vector<Value> keys;
    for (const auto& entry : dictionary->entries()) keys.push_back(entry.first);
    EXPECT_EQ(keys, tree.as<Dictionary>()->allKeys());
  }
}

TEST(PropertyListRoundTrip, ScalarsStandAloneAtTheTop) {
  for (const PropertyListFormat format : kBothFormats) {
    for (const Value& scalar : {Value("alone"), Value(std::int64_t{-7}), Value(false), Value(2.5)}) {
      EXPECT_EQ(roundTrip(scalar, format), scalar) << scalar.description();
    }
  }
}

TEST(PropertyListRoundTrip, XMLDatesKeepWholeSecondsAcrossTheYearsOneToNineThousand) {
  // Far dates fall outside the library's 32-bit date accessor.
  const double year1 = -63113904000.0;
  const double year4001 = 63113904000.0;
  for (const double seconds : {year1, -3187296000.0 /* 1900 */, -978307200.5, 0.0, year4001, 252423993599.0}) {
    const Value date(Date::dateWithTimeIntervalSinceReferenceDate(seconds));
    auto read = roundTrip(date, PropertyListFormat::xml).as<Date>();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->timeIntervalSinceReferenceDate(), std::floor(seconds));
    EXPECT_EQ(roundTrip(date, PropertyListFormat::binary), date);
  }
  const auto text = write(Value(Date::dateWithTimeIntervalSinceReferenceDate(-978307200.5)), PropertyListFormat::xml);
  EXPECT_NE(std::string(text.begin(), text.end()).find("<date>1969-12-31T23:59:59Z</date>"), std::string::npos);
}

TEST(PropertyListRoundTrip, UIDsAreNativeInBinaryAndCFUIDDictionariesInXML) {
  const Value tree(Array::make({Value(UID::make(0)), Value(UID::make(300)), Value(UID::make(1ull << 40))}));
  for (const PropertyListFormat format : kBothFormats) {
    const Value read = roundTrip(tree, format);
    EXPECT_EQ(read, tree);
    EXPECT_TRUE(read.as<Array>()->objectAtIndex(1).as<UID>());
  }
  const Bytes xml = write(tree, PropertyListFormat::xml);
  EXPECT_NE(std::string(xml.begin(), xml.end()).find("<key>CF$UID</key>\n\t\t<integer>300</integer>"),
            std::string::npos);
  // Only an integer under the one key makes a UID.
  auto notUID = PropertyListSerialization::propertyListWithData(
      bytesOf("<plist><dict><key>CF$UID</key><true/></dict></plist>"));
  ASSERT_TRUE(notUID);
  EXPECT_TRUE(notUID->as<Dictionary>());
  EXPECT_EQ(UID::make(4)->description(), "<CFKeyedArchiverUID>{value = 4}");
  EXPECT_NE(Value(UID::make(4)), Value(std::int64_t{4}));
}

TEST(PropertyListRoundTrip, TextThatIsNotUTF8IsWrittenWithReplacementCharacters) {
  const Value damaged("ok \xC3 \xFF end");
  for (const PropertyListFormat format : kBothFormats) {
    EXPECT_EQ(roundTrip(damaged, format), Value("ok \uFFFD \uFFFD end"));
  }
  expectCorrupt(bytesOf("<plist><string>\xFF</string></plist>"), "XML text that is not UTF-8");
}

TEST(PropertyListRoundTrip, SharedObjectsAreReadAndWrittenOnce) {
  // Sixty levels of two references to one object: expanding each reference
  // would make 2^60 leaves.
  Value shared("leaf");
  for (int i = 0; i < 60; ++i) shared = Value(Array::make({shared, shared}));
  const Bytes bytes = write(shared, PropertyListFormat::binary);
  EXPECT_LT(bytes.size(), 1000u);
  auto read = PropertyListSerialization::propertyListWithData(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(write(*read, PropertyListFormat::binary).size(), bytes.size());
  // Many references to one string within one array.
  const Value repeated(Array::make(std::vector<Value>(300, Value("same"))));
  EXPECT_EQ(roundTrip(repeated, PropertyListFormat::binary), repeated);
}

// A locale that writes reals with a decimal comma, when the system has one.
locale_t commaLocale() {
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "fr_FR.utf8", "ru_RU.UTF-8"}) {
    if (locale_t locale = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr))) return locale;
  }
  return static_cast<locale_t>(nullptr);
}

TEST(PropertyListRoundTrip, XMLRealsDoNotDependOnTheThreadsLocale) {
  locale_t comma = commaLocale();
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
  const locale_t previous = ::uselocale(comma);
  const Value read = roundTrip(Value(Array::make({Value(0.5), Value(-1234.125)})), PropertyListFormat::xml);
  ::uselocale(previous);
  ::freelocale(comma);
  EXPECT_EQ(read, Value(Array::make({Value(0.5), Value(-1234.125)})));
}

// ---------------------------------------------------------------------------
// Exchange with the library's own writer and reader

using Node = std::unique_ptr<void, decltype(&plist_free)>;

Node libraryXML(std::string_view text) {
  plist_t node = nullptr;
  plist_from_xml(text.data(), static_cast<std::uint32_t>(text.size()), &node);
  return Node(node, &plist_free);
}

Bytes libraryBinary(plist_t node) {
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(node, &bytes, &length);
  Bytes out(bytes, bytes + length);
  plist_to_bin_free(bytes);
  return out;
}

TEST(PropertyListExchange, WeReadTheLibrarysBinaryOutput) {
  Node root(plist_new_dict(), &plist_free);
  plist_dict_set_item(root.get(), "negative", plist_new_uint(static_cast<std::uint64_t>(-42)));
  plist_dict_set_item(root.get(), "unsigned",
                      plist_copy(libraryXML("<plist><integer>18446744073709551615</integer></plist>").get()));
  plist_dict_set_item(root.get(), "uid", plist_new_uid(7));
  plist_dict_set_item(root.get(), "date", plist_new_date(-1000000000, 250000));
  plist_dict_set_item(root.get(), "text", plist_new_string("caf\u00e9"));
  plist_dict_set_item(root.get(), "flag", plist_new_bool(1));
  auto read = PropertyListSerialization::propertyListWithData(libraryBinary(root.get()));
  ASSERT_TRUE(read) << read.error().description();
  auto dictionary = read->as<Dictionary>();
  EXPECT_EQ(dictionary->objectForKey("negative").integerValue(), -42);
  EXPECT_EQ(kindOf(dictionary->objectForKey("unsigned")), Number::Kind::unsignedInteger);
  EXPECT_EQ(dictionary->objectForKey("uid"), Value(UID::make(7)));
  EXPECT_EQ(dictionary->objectForKey("date").as<Date>()->timeIntervalSinceReferenceDate(), -1000000000 + 0.25);
  EXPECT_EQ(dictionary->objectForKey("text").stringValue(), "caf\u00e9");
  EXPECT_EQ(kindOf(dictionary->objectForKey("flag")), Number::Kind::boolean);
}

TEST(PropertyListExchange, TheLibraryReadsOurBinaryOutput) {
  const Bytes bytes = write(richTree(0), PropertyListFormat::binary);
  plist_t node = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()), &node);
  ASSERT_NE(node, nullptr);
  const Node owner(node, &plist_free);
  char* xml = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node, &xml, &length);
  const std::string text(xml, length);
  std::free(xml);
  EXPECT_NE(text.find("<integer>18446744073709551615</integer>"), std::string::npos);
  EXPECT_NE(text.find("<integer>-9223372036854775808</integer>"), std::string::npos);
  EXPECT_NE(text.find("\u65e5\u672c \U0001F600"), std::string::npos);
  // Its XML, with its own spelling of reals, reads as ours does.
  auto read = PropertyListSerialization::propertyListWithData(bytesOf(text));
  ASSERT_TRUE(read) << read.error().description();
  EXPECT_EQ(*read, richTree(0));
}

// ---------------------------------------------------------------------------
// Values that are not property lists

TEST(PropertyListWriting, ValuesThatAreNoPropertyListFailNamingTheirClass) {
  const std::pair<Value, std::string> cases[] = {
      {Value(Null::null()), "NSNull"},
      {Value(URL::URLWithString("https://example.invalid/")), "NSURL"},
      {Value(UUID::make()), "NSUUID"},
      {Value(Error(NSCocoaErrorDomain, 4)), "NSError"},
      {Value(Set::make({Value("a")})), "NSSet"},
      {Value(Dictionary::make({{Value(1), Value("number key")}})), "NSNumber"},
      {Value(Array::make({Value("ok"), Value(Dictionary::make({{Value("x"), Value(Null::null())}}))})), "NSNull"},
      {Value(), "nil"},
  };
  for (const auto& [invalid, className] : cases) {
    for (const PropertyListFormat format : kBothFormats) {
      EXPECT_FALSE(PropertyListSerialization::propertyListIsValid(invalid, format));
      auto bytes = PropertyListSerialization::dataWithPropertyList(invalid, format);
      ASSERT_FALSE(bytes) << invalid.description();
      EXPECT_TRUE(bytes.error().is(NSCocoaErrorDomain, NSPropertyListWriteInvalidError));
      EXPECT_NE(bytes.error().userInfoValue(NSDebugDescriptionErrorKey).stringValue()->find(className),
                std::string::npos)
          << className;
    }
  }
  EXPECT_TRUE(PropertyListSerialization::propertyListIsValid(richTree(0), PropertyListFormat::xml));
}

Value nestedArrays(std::size_t levels) {
  Value value("bottom");
  for (std::size_t i = 0; i < levels; ++i) value = Value(Array::make({value}));
  return value;
}

TEST(PropertyListWriting, NestingIsBoundedOnEveryPathThroughSharedContainers) {
  EXPECT_TRUE(PropertyListSerialization::propertyListIsValid(nestedArrays(kPropertyListMaximumDepth),
                                                             PropertyListFormat::binary));
  auto tooDeep = PropertyListSerialization::dataWithPropertyList(nestedArrays(kPropertyListMaximumDepth + 1),
                                                                 PropertyListFormat::binary);
  ASSERT_FALSE(tooDeep);
  EXPECT_TRUE(tooDeep.error().is(NSCocoaErrorDomain, NSPropertyListWriteInvalidError));
  // The shared half is first met near the top, then again 300 levels down.
  const Value half = nestedArrays(300);
  Value deepPath = Value(Array::make({half}));
  for (int i = 0; i < 300; ++i) deepPath = Value(Array::make({deepPath}));
  EXPECT_FALSE(PropertyListSerialization::propertyListIsValid(Value(Array::make({half, deepPath})),
                                                              PropertyListFormat::binary));
}

// ---------------------------------------------------------------------------
// Damaged and hostile binary input

// Assembles a binary property list from encoded objects, so a test states
// exactly what a damaged file holds.
Bytes binaryPlist(const std::vector<Bytes>& objects, std::uint8_t referenceSize = 1, std::uint64_t top = 0) {
  Bytes out = bytesOf("bplist00");
  std::vector<std::uint64_t> offsets;
  for (const Bytes& object : objects) {
    offsets.push_back(out.size());
    out.insert(out.end(), object.begin(), object.end());
  }
  const std::uint64_t table = out.size();
  const std::uint8_t offsetSize = table > 0xFFFF ? 4 : table > 0xFF ? 2 : 1;
  auto append = [&out](std::uint64_t value, int size) {
    for (int i = size - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  for (const std::uint64_t offset : offsets) append(offset, offsetSize);
  out.insert(out.end(), 6, 0);
  out.push_back(offsetSize);
  out.push_back(referenceSize);
  append(objects.size(), 8);
  append(top, 8);
  append(table, 8);
  return out;
}

// An array of the objects at `references`, each `size` bytes.
Bytes arrayOf(const std::vector<std::uint64_t>& references, int size = 1) {
  Bytes out = {static_cast<std::uint8_t>(0xA0 | references.size())};
  for (const std::uint64_t reference : references) {
    for (int i = size - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(reference >> (8 * i)));
  }
  return out;
}

const Bytes kASCIIA = {0x51, 'a'};

TEST(PropertyListBinaryReading, EveryTruncationAndByteFlipFailsCleanly) {
  const Bytes bytes = write(richTree(0.25), PropertyListFormat::binary);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    expectCorrupt(std::span(bytes.data(), length), "truncated at " + std::to_string(length));
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (const std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      Bytes changed = bytes;
      changed[i] ^= flip;
      auto read = PropertyListSerialization::propertyListWithData(changed);
      if (read) {
        EXPECT_TRUE(PropertyListSerialization::dataWithPropertyList(*read, PropertyListFormat::binary));
      } else {
        EXPECT_TRUE(read.error().is(NSCocoaErrorDomain, NSPropertyListReadCorruptError)) << "byte " << i;
      }
    }
  }
}

TEST(PropertyListBinaryReading, CyclesAndBadReferencesAreCorrupt) {
  expectCorrupt(binaryPlist({arrayOf({0})}), "array holding itself");
  expectCorrupt(binaryPlist({arrayOf({1}), arrayOf({0})}), "two arrays holding each other");
  expectCorrupt(binaryPlist({arrayOf({5}), kASCIIA}), "reference past the table");
  expectCorrupt(binaryPlist({kASCIIA}, 1, 1), "top object past the table");
  expectCorrupt(binaryPlist({}), "no objects");
  expectCorrupt(binaryPlist({kASCIIA}, 3), "three-byte references");
  expectCorrupt(binaryPlist({{0xD1, 1, 0}, {0x10, 1}}), "dictionary key that is a number");
  expectCorrupt(binaryPlist({{0xAF, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1}, kASCIIA}),
                "array claiming 2^63 elements");
  expectCorrupt(binaryPlist({{0x5F, 0x10, 200, 'a'}}), "string longer than the file");
  expectCorrupt(binaryPlist({{0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}}), "integer beyond 64 bits");
  expectCorrupt(binaryPlist({{0x00}}), "null object");
  expectCorrupt(binaryPlist({{0x70}}), "unknown marker");
  Bytes badOffset = binaryPlist({kASCIIA});
  badOffset[10] = 0xF0;  // the only entry of the offset table
  expectCorrupt(badOffset, "offset into the table");
  // A well-formed file of the same shape reads.
  auto read = PropertyListSerialization::propertyListWithData(binaryPlist({arrayOf({1, 1, 1}), kASCIIA}));
  ASSERT_TRUE(read) << read.error().description();
  EXPECT_EQ(*read, Value(Array::make({Value("a"), Value("a"), Value("a")})));
}

// `levels` arrays each holding the next, then a string.
std::vector<Bytes> arrayChain(std::size_t levels, std::uint64_t first = 0, int referenceSize = 2) {
  std::vector<Bytes> objects;
  for (std::size_t i = 0; i < levels; ++i) objects.push_back(arrayOf({first + i + 1}, referenceSize));
  objects.push_back(kASCIIA);
  return objects;
}

TEST(PropertyListBinaryReading, NestingIsBoundedOnEveryPathThroughSharedObjects) {
  ASSERT_TRUE(PropertyListSerialization::propertyListWithData(binaryPlist(arrayChain(kPropertyListMaximumDepth), 2)));
  expectCorrupt(binaryPlist(arrayChain(kPropertyListMaximumDepth + 1), 2), "one level too deep");
  expectCorrupt(binaryPlist(arrayChain(100000, 0, 4), 4), "hostile depth");
  // Root [shallow, deep]: `deep` is 300 arrays whose last holds `shallow`,
  // a chain of 300 read first at the top.
  std::vector<Bytes> objects = {arrayOf({1, 302}, 2)};
  for (const Bytes& object : arrayChain(300, 1)) objects.push_back(object);
  for (int i = 0; i < 300; ++i) objects.push_back(arrayOf({static_cast<std::uint64_t>(i == 299 ? 1 : 303 + i)}, 2));
  expectCorrupt(binaryPlist(objects, 2), "shared chain met again deep down");
}

TEST(PropertyListBinaryReading, ObjectCountIsBounded) {
  // One string listed once too often in the offset table.
  Bytes bytes = bytesOf("bplist00");
  bytes.insert(bytes.end(), kASCIIA.begin(), kASCIIA.end());
  bytes.insert(bytes.end(), kPropertyListMaximumObjectCount + 1, 8);
  auto append = [&bytes](std::uint64_t value) {
    for (int i = 7; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 1, 1});
  append(kPropertyListMaximumObjectCount + 1);
  append(0);
  append(10);
  expectCorrupt(bytes, "object count past the limit");
}

// ---------------------------------------------------------------------------
// Damaged and hostile XML input

TEST(PropertyListXMLReading, MalformedDocumentsAreCorrupt) {
  expectCorrupt(bytesOf(""), "empty");
  expectCorrupt(bytesOf("not a plist at all"), "text");
  expectCorrupt(bytesOf("<?xml version=\"1.0\"?><plist><dict><key>a</key>"), "unclosed");
  expectCorrupt(bytesOf("<plist></plist>"), "no value");
  expectCorrupt(bytesOf("<plist><string>a&bogus;b</string></plist>"), "unknown entity");
  expectCorrupt(bytesOf("<plist><array><string>x</array></string></plist>"), "crossed elements");
  expectCorrupt(bytesOf("bplist0"), "short binary header");
  const Bytes good = write(richTree(0), PropertyListFormat::xml);
  for (std::size_t length = 0; length + 10 < good.size(); length += 7) {
    auto read = PropertyListSerialization::propertyListWithData(std::span(good.data(), length));
    if (!read) {
      EXPECT_TRUE(read.error().is(NSCocoaErrorDomain, NSPropertyListReadCorruptError));
    }
  }
}

std::string xmlNest(std::size_t levels, std::string_view between = "") {
  std::string text = "<plist version=\"1.0\">";
  for (std::size_t i = 0; i < levels; ++i) (text += "<array>") += between;
  text += "<true/>";
  for (std::size_t i = 0; i < levels; ++i) text += "</array>";
  return text + "</plist>";
}

TEST(PropertyListXMLReading, NestingIsBoundedBeforeTheLibraryBuildsItsTree) {
  ASSERT_TRUE(PropertyListSerialization::propertyListWithData(bytesOf(xmlNest(kPropertyListMaximumDepth))));
  expectCorrupt(bytesOf(xmlNest(kPropertyListMaximumDepth + 1)), "one level too deep");
  expectCorrupt(bytesOf(xmlNest(200000)), "hostile depth");
  // Closing tags the library skips must not hide the depth.
  expectCorrupt(bytesOf(xmlNest(kPropertyListMaximumDepth + 1, "<!-- </array> -->")), "closings in comments");
  expectCorrupt(bytesOf(xmlNest(kPropertyListMaximumDepth + 1, "<?pi </array> ?>")), "closings in instructions");
  // Empty containers do not nest.
  std::string flat = "<plist><array>";
  for (int i = 0; i < 2000; ++i) flat += "<array/><dict/><array />";
  ASSERT_TRUE(PropertyListSerialization::propertyListWithData(bytesOf(flat + "</array></plist>")));
}

TEST(PropertyListXMLReading, ElementCountIsBoundedBeforeTheLibraryBuildsItsTree) {
  std::string many = "<true/>";
  while (many.size() < kPropertyListMaximumObjectCount * 7) many += many;
  expectCorrupt(bytesOf("<plist><array>" + many + "</array></plist>"), "too many elements");
}

TEST(PropertyListXMLReading, IntegersKeepTheirSignAndDictionariesTheirOrder) {
  auto read = PropertyListSerialization::propertyListWithData(
      bytesOf("<plist><dict><key>z</key><integer>-1</integer><key>a</key>"
              "<integer>18446744073709551615</integer><key>m</key><integer>-9223372036854775808</integer>"
              "</dict></plist>"));
  ASSERT_TRUE(read) << read.error().description();
  const auto& entries = read->as<Dictionary>()->entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].first.stringValue(), "z");
  EXPECT_EQ(entries[0].second.integerValue(), -1);
  EXPECT_EQ(entries[1].first.stringValue(), "a");
  EXPECT_EQ(kindOf(entries[1].second), Number::Kind::unsignedInteger);
  EXPECT_EQ(entries[2].second.integerValue(), std::numeric_limits<std::int64_t>::min());
}

}  // namespace
}  // namespace fnd
