#include "devtools/archive_json.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

#include "foundation/array.h"
#include "foundation/data.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/keyed_archiver.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/set.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "foundation/uuid.h"
#include "interface/model/afx_environment_id.h"

namespace korvia::devtools {
namespace {

using fnd::Value;

TEST(ArchiveJSON, EveryKindPrintsInItsForm) {
  const Value root(fnd::Dictionary::make({
      {Value("b"), Value(fnd::Array::make({Value(1), Value(2.0), Value(true), Value(fnd::Null::null())}))},
      {Value("a"), Value(fnd::Data::make(std::string_view("hi")))},
      {Value("date"), Value(fnd::Date::dateWithTimeIntervalSinceReferenceDate(12.5))},
      {Value("id"), Value(fnd::UUID::makeWithString("68753a44-4d6f-1226-9c60-0050e4c00067"))},
      {Value("url"), Value(fnd::URL::URLWithString("b", fnd::URL::URLWithString("https://example.invalid/a/")))},
      {Value("set"), Value(fnd::Set::make({Value("z"), Value("y")}))},
      {Value("map"), Value(fnd::Dictionary::make({{Value(1), Value("one")}}))},
      {Value("error"), Value(fnd::Error("D", -3, {{Value("k"), Value("v")}}))},
  }));
  auto text = archiveJSONFromValue(root);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text,
            "{\"a\":{\"$data\":\"aGk=\"},\"b\":[1,2.0,true,null],\"date\":{\"$date\":12.5},"
            "\"error\":{\"$error\":{\"domain\":\"D\",\"code\":-3,\"userInfo\":{\"k\":\"v\"}}},"
            "\"id\":{\"$uuid\":\"68753A44-4D6F-1226-9C60-0050E4C00067\"},\"map\":{\"$dict\":[[1,\"one\"]]},"
            "\"set\":{\"$set\":[\"y\",\"z\"]},\"url\":{\"$url\":\"https://example.invalid/a/b\"}}");
}

TEST(ArchiveJSON, ReadsBackWhatItPrints) {
  const std::string text =
      "{\"n\":[1,2.5,false,null,\"s\"],\"d\":{\"$data\":\"AAE=\"},\"t\":{\"$date\":-5.0},"
      "\"u\":{\"$uuid\":\"68753A44-4D6F-1226-9C60-0050E4C00067\"},\"s\":{\"$set\":[1]},"
      "\"m\":{\"$dict\":[[2,\"two\"]]},\"e\":{\"$error\":{\"domain\":\"D\",\"code\":4,\"userInfo\":{}}}}";
  auto value = valueFromArchiveJSON(text);
  ASSERT_TRUE(value) << value.error().description();
  auto dictionary = value->as<fnd::Dictionary>();
  EXPECT_EQ(dictionary->objectForKey("d").as<fnd::Data>()->length(), 2u);
  EXPECT_EQ(dictionary->objectForKey("t").as<fnd::Date>()->timeIntervalSinceReferenceDate(), -5.0);
  EXPECT_TRUE(dictionary->objectForKey("e").errorValue()->is("D", 4));
  EXPECT_EQ(dictionary->objectForKey("n").as<fnd::Array>()->objectAtIndex(1).as<fnd::Number>()->kind(),
            fnd::Number::Kind::real);
  auto printed = archiveJSONFromValue(*value);
  ASSERT_TRUE(printed);
  auto again = valueFromArchiveJSON(*printed);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *value);

  for (const char* bad : {"{\"$data\":5}", "{\"$uuid\":\"nope\"}", "{\"$dict\":[[1]]}", "{\"$what\":1}", "[1,"}) {
    EXPECT_FALSE(valueFromArchiveJSON(bad)) << bad;
  }
}

// Runs the installed program on a file, as a developer would.
int run(const std::string& command) { return std::system(command.c_str()); }

TEST(KorviaArchiveProgram, EncodesAndDecodesThroughFiles) {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  ASSERT_GT(length, 0);
  const std::string folder = std::string(buffer, static_cast<std::size_t>(length)).substr(0, std::string(buffer, static_cast<std::size_t>(length)).rfind('/'));
  const std::string program = folder + "/korvia-archive";
  char pattern[] = "/tmp/korvia-archive-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  std::ofstream(dir + "/in.json") << "{\"key\":[1,{\"$date\":3.0}]}";
  ASSERT_EQ(run(program + " encode " + dir + "/in.json -o " + dir + "/out.archive"), 0);
  ASSERT_EQ(run(program + " decode " + dir + "/out.archive > " + dir + "/out.json"), 0);
  std::ifstream decoded(dir + "/out.json");
  std::string line;
  std::getline(decoded, line);
  EXPECT_EQ(line, "{\"key\":[1,{\"$date\":3.0}]}");
  // Only arrays allowed: the dictionary root fails with the corrupt-archive error.
  EXPECT_NE(run(program + " decode " + dir + "/out.archive --allow NSArray 2> " + dir + "/err.txt"), 0);
  std::ifstream error(dir + "/err.txt");
  std::getline(error, line);
  EXPECT_EQ(line.rfind("error: NSCocoaErrorDomain 4864: ", 0), 0u) << line;
  std::system(("rm -rf " + dir).c_str());
}

TEST(KorviaArchiveProgram, AllowsProductRecordClassesByName) {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  ASSERT_GT(length, 0);
  const std::string self(buffer, static_cast<std::size_t>(length));
  const std::string program = self.substr(0, self.rfind('/')) + "/korvia-archive";
  char pattern[] = "/tmp/korvia-archive-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(
      fnd::Value(AFXEnvironmentID::environmentWithURLString("https://staging.example.test/manifest.json")));
  ASSERT_TRUE(archive) << archive.error().description();
  std::ofstream(dir + "/environment.archive", std::ios::binary)
      .write(reinterpret_cast<const char*>(archive->data()), static_cast<std::streamsize>(archive->size()));

  EXPECT_EQ(run(program + " decode " + dir + "/environment.archive --allow AFXEnvironmentID > /dev/null"), 0);
  // A class the archive does not hold is refused.
  EXPECT_NE(run(program + " decode " + dir + "/environment.archive --allow AFXCustomerID 2> /dev/null"), 0);
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
}  // namespace korvia::devtools
