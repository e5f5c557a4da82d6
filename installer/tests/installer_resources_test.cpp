// The installer's string table: every key its windows, alerts and menu look
// up is there, with exactly the placeholders the code fills.

#include <gtest/gtest.h>

#include <string>

#include "interface/errors/afx_string_table.h"

namespace {

std::size_t placeholders(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 2)) {
    if (at + 1 < text.size() && text[at + 1] != '%') ++count;
  }
  return count;
}

TEST(InstallerResourcesTest, EveryKeyIsThereWithItsPlaceholders) {
  const auto table = AFXStringTable::tableAtPath(KORVIA_INSTALLER_STRINGS);
  const std::pair<const char*, std::size_t> keys[] = {
      {"AboutAppMenuTitle", 1}, {"HideAppMenuTitle", 1}, {"QuitAppMenuTitle", 1},
      {"StatusTextFieldAppDownloading", 0}, {"StatusTextFieldAppInstalling", 0}, {"StatusTextFieldAppReady", 0},
      {"IncompleteInstallAlertTitle", 0}, {"IncompleteInstallAlertDescription", 0},
      {"IncompleteInstallAlertDefaultButton", 0}, {"IncompleteInstallAlertAlterButton", 0},
      {"FailedInstallAlertTitle", 0}, {"FailedInstallAlertDefaultDescription", 0},
      {"FailedInstallAlertDefaultButton", 0}, {"FailedInstallAlertAlterButton", 0},
      {"FirstScreenTitle", 1}, {"FirstScreenDescription", 1},
      {"SecondScreenTitle", 0}, {"SecondScreenDescription", 0}, {"ThirdScreenTitle", 0}, {"ThirdScreenDescription", 0},
  };
  EXPECT_EQ(table.count(), std::size(keys));
  for (const auto& [key, count] : keys) {
    ASSERT_TRUE(table.containsKey(key)) << key;
    const std::string text = table.localizedString(key);
    EXPECT_FALSE(text.empty()) << key;
    EXPECT_EQ(placeholders(text), count) << key << ": " << text;
  }
}

}  // namespace
