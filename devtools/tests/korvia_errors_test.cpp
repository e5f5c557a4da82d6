// Runs the built korvia-errors and reads its listing back.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/json_serialization.h"
#include "foundation/null.h"
#include "foundation/process.h"

namespace {

using fnd::Value;

std::vector<std::string> listing() {
  fnd::ProcessLaunchOptions options;
  options.executablePath = KORVIA_ERRORS_TOOL;
  options.captureStandardOutput = true;
  auto run = fnd::Process::run(std::move(options));
  EXPECT_TRUE(run) << run.error().description();
  if (!run) return {};
  EXPECT_EQ(run->reason, fnd::ProcessTerminationReason::exit);
  EXPECT_EQ(run->status, 0);
  std::vector<std::string> lines;
  std::string line;
  for (std::uint8_t byte : run->standardOutput) {
    if (byte == '\n') {
      lines.push_back(std::move(line));
      line.clear();
    } else {
      line.push_back(static_cast<char>(byte));
    }
  }
  EXPECT_TRUE(line.empty()) << "unterminated last line";
  return lines;
}

TEST(KorviaErrorsTest, ListsEveryConstructorOncePerLineInTheDocumentedShape) {
  const std::vector<std::int64_t> codes = {-401005, -401010, -401014, -401015, -401015, -401011, -401001, -401001,
                                           -401001, -401002, -401003, -401012, -401500, -401540, -401103, -401042,
                                           -401044, -401044, -401046, -401086, -401108, -401101, -401102, -401104,
                                           -401105, -401106, -401107, -401109, -401041, -401043, -401045, -401013};
  const auto lines = listing();
  ASSERT_EQ(lines.size(), codes.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto object = fnd::JSONSerialization::JSONObjectWithData(lines[i]);
    ASSERT_TRUE(object) << lines[i];
    const auto dictionary = object->as<fnd::Dictionary>();
    ASSERT_NE(dictionary, nullptr) << lines[i];
    std::vector<std::string> keys;
    for (const auto& key : dictionary->allKeys()) keys.push_back(key.stringValue().value_or("?"));
    EXPECT_EQ(keys,
              (std::vector<std::string>{"domain", "code", "description", "recoverySuggestion", "recoveryOptions"}));
    EXPECT_EQ(dictionary->objectForKey("domain").stringValue(), "com.korvia.default-error-domain");
    EXPECT_EQ(dictionary->objectForKey("code").integerValue(), codes[i]) << lines[i];
    EXPECT_NE(dictionary->objectForKey("recoveryOptions").as<fnd::Array>(), nullptr) << lines[i];
  }
}

TEST(KorviaErrorsTest, TextsAreVerbatimAndAbsentTextsAreNull) {
  const auto lines = listing();
  ASSERT_GT(lines.size(), 4u);
  EXPECT_EQ(lines[0], R"({"domain":"com.korvia.default-error-domain","code":-401005,"description":null,)"
                      R"("recoverySuggestion":null,"recoveryOptions":[]})");
  EXPECT_EQ(lines[4],
            R"({"domain":"com.korvia.default-error-domain","code":-401015,)"
            R"("description":"Your current version of Korvia is outdated and can no longer be used.",)"
            R"("recoverySuggestion":"Please download and install the latest version to continue using Korvia.",)"
            R"("recoveryOptions":["Download Now","Cancel"]})");
}

}  // namespace
