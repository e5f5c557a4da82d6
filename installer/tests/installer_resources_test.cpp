// The installer's string table: every key its windows, alerts and menu look
// up is there, with exactly the placeholders the code fills.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <string>
#include <vector>

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

TEST(InstallerResourcesTest, EveryNamedImageIsADrawableSquareImage) {
  // Labels need the fonts of a GUI application (offscreen in tests).
  static int argc = 1;
  static char program[] = "korvia_installer_resources_tests";
  static char* argv[] = {program, nullptr};
  static QGuiApplication application(argc, argv);
  std::vector<std::string> names{"KorviaIcon"};
  for (int i = 0; i <= 12; ++i) names.push_back("App" + std::to_string(i));
  for (int i = 1; i <= 8; ++i) names.push_back("Category" + std::to_string(i));
  for (const auto& name : names) {
    QSvgRenderer renderer(QString::fromStdString(std::string(KORVIA_INSTALLER_IMAGES) + "/" + name + ".svg"));
    ASSERT_TRUE(renderer.isValid()) << name;
    EXPECT_EQ(renderer.defaultSize().width(), renderer.defaultSize().height()) << name;
    // Drawn resized, as the screens show them: something is painted.
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    EXPECT_NE(image.pixelColor(32, 32).alpha(), 0) << name;
  }
}

}  // namespace
