#include "interface/placement/afx_quarantine.h"

#include <gtest/gtest.h>

#include "foundation/extended_attributes.h"
#include "foundation/file_manager.h"
#include "tools/unarchiver/tests/unarchiver_test_support.h"

namespace {

using namespace unarchiver_test;

TEST(AFXRemoveFromQuarantine, ClearsTheMarkThroughoutTheBundleOnly) {
  Sandbox sandbox;
  const auto& files = fnd::FileManager::defaultManager();
  const std::string app = sandbox.work() + "/Korvia.app";
  const std::string outside = sandbox.work() + "/outside.txt";
  ASSERT_TRUE(files.createDirectoryAtPath(app + "/Contents/.hidden/Kit.framework", true));
  for (const auto& path : {app + "/Contents/Info.plist", app + "/Contents/.hidden/Kit.framework/Kit", outside}) {
    ASSERT_TRUE(files.createFileAtPath(path, bytes("x")));
  }
  ASSERT_TRUE(files.createSymbolicLinkAtPath(app + "/Contents/outside", outside));
  const auto mark = bytes("0083;5f1e;Safari;");
  for (const auto& path : {app, app + "/Contents/Info.plist", app + "/Contents/.hidden/Kit.framework/Kit", outside}) {
    ASSERT_TRUE(fnd::ExtendedAttributes::setValue(path, "com.apple.quarantine", mark));
  }
  ASSERT_TRUE(fnd::ExtendedAttributes::setValue(app + "/Contents/Info.plist", "com.korvia.tag", bytes("keep")));

  EXPECT_TRUE(AFXRemoveFromQuarantine(app));
  for (const auto& path : {app, app + "/Contents/Info.plist", app + "/Contents/.hidden/Kit.framework/Kit"}) {
    auto value = fnd::ExtendedAttributes::value(path, "com.apple.quarantine");
    ASSERT_FALSE(value) << path;
    EXPECT_TRUE(fnd::ExtendedAttributes::isNoSuchAttributeError(value.error()));
  }
  // The link is not followed out of the bundle.
  EXPECT_TRUE(fnd::ExtendedAttributes::value(outside, "com.apple.quarantine"));
  EXPECT_TRUE(fnd::ExtendedAttributes::value(app + "/Contents/Info.plist", "com.korvia.tag"));
}

TEST(AFXRemoveFromQuarantine, MissingPathIsStillSuccess) {
  EXPECT_TRUE(AFXRemoveFromQuarantine("/tmp/korvia-no-such-bundle.app"));
}

}  // namespace
