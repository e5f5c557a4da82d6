// The reference client's catalogue file, and the activation files it
// writes: what is read from hostile or partial JSON, and how the started
// client's command line is quoted.

#include <gtest/gtest.h>

#include "desktop_client/afx_reference_catalogue.h"
#include "desktop_client/afx_reference_client_installation.h"

namespace {

TEST(ReferenceCatalogueTest, ReadsCompleteEntriesAndSkipsTheRest) {
  auto catalogue = AFXReferenceCatalogue::readFromJSON(R"({"apps": [
      {"id": 246, "name": "Chronofold", "bundle_identifier": "com.chronofold.app",
       "bundle_name": "Chronofold.app", "archive_url": "http://127.0.0.1:9/apps/Chronofold.zip"},
      {"id": 7, "bundle_name": "../../escape.app", "archive_url": "http://127.0.0.1:9/x.zip"},
      {"id": 8, "bundle_name": "NoArchive.app"},
      {"name": "no id", "bundle_name": "X.app", "archive_url": "http://127.0.0.1:9/x.zip"},
      {"id": 9, "bundle_name": "Plain.app", "archive_url": "http://127.0.0.1:9/p.zip"},
      "not an object"]})");
  ASSERT_TRUE(catalogue);
  ASSERT_EQ(catalogue->entries().size(), 2u);
  const auto* chronofold = catalogue->entryWithID(246);
  ASSERT_TRUE(chronofold);
  EXPECT_EQ(chronofold->bundleName, "Chronofold.app");
  EXPECT_EQ(chronofold->archiveURL->absoluteString(), "http://127.0.0.1:9/apps/Chronofold.zip");
  auto app = chronofold->makeApp();
  EXPECT_EQ(app->identifier(), 246);
  EXPECT_EQ(app->name(), "Chronofold");
  EXPECT_EQ(app->bundleIdentifier(), "com.chronofold.app");
  // A missing name is the bundle's.
  EXPECT_EQ(catalogue->entryWithID(9)->name, "Plain.app");
  EXPECT_FALSE(catalogue->entryWithID(7));
}

TEST(ReferenceCatalogueTest, BrokenDocumentsFailOrHoldNothing) {
  EXPECT_FALSE(AFXReferenceCatalogue::readFromJSON("{\"apps\": ["));
  auto empty = AFXReferenceCatalogue::readFromJSON(R"({"apps": 3})");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->entries().empty());
  auto missing = AFXReferenceCatalogue::readFromFile("/nonexistent/catalogue.json");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code(), 260);
}

TEST(ReferenceClientActivationTest, ExecLineQuotesEveryWord) {
  const std::string text = AFXReferenceClientActivationFileText(
      "com.korvia.SystemManagementService", "/Apps/My Korvia.app/Contents/MacOS/Korvia",
      {"HOME=/home/o'brien", "XDG_DATA_HOME=/d", "BROKEN=a\nExec=/bin/evil"});
  EXPECT_EQ(text,
            "[D-BUS Service]\nName=com.korvia.SystemManagementService\n"
            "Exec=/usr/bin/env 'HOME=/home/o'\\''brien' 'XDG_DATA_HOME=/d' "
            "'/Apps/My Korvia.app/Contents/MacOS/Korvia' -xpcServer\n");
}

}  // namespace
