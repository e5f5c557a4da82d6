// The controls as interface resources name them: every class made by name,
// and the settings a resource gives them applied.

#include "installer/controls/afx_installer_controls.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "installer/controls/afx_autoscaling_text_field.h"
#include "installer/controls/afx_colorful_progress_indicator.h"
#include "installer/controls/afx_dark_styled_button.h"
#include "installer/controls/afx_full_size_content_window.h"
#include "installer/controls/afx_pagination_view.h"
#include "installer/controls/tests/controls_test_support.h"
#include "tools/ui/qv_view_extensions.h"
#include "tools/ui/tests/qt_test_support.h"

namespace {

const char* const kWindowResource = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>AFXFullSizeContentWindow</class>
 <widget class="AFXFullSizeContentWindow" name="window">
  <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>120</height></rect></property>
  <layout class="QVBoxLayout" name="column">
   <item>
    <widget class="AFXColorfulProgressIndicator" name="progressBar">
     <property name="maxValue"><double>1.0</double></property>
     <property name="doubleValue"><double>0.5</double></property>
     <property name="colorValue"><color><red>38</red><green>128</green><blue>253</blue></color></property>
     <property name="animates"><bool>false</bool></property>
    </widget>
   </item>
   <item>
    <widget class="AFXDarkStyledButton" name="launchButton">
     <property name="text"><string>Launch</string></property>
     <property name="cornerRadius"><double>4.0</double></property>
    </widget>
   </item>
   <item>
    <widget class="AFXAutoscalingTextField" name="statusTextField">
     <property name="maximumFontSize"><double>12.0</double></property>
     <property name="text"><string>Ready</string></property>
    </widget>
   </item>
   <item><widget class="AFXPaginationView" name="paginationView"/></item>
  </layout>
 </widget>
 <customwidgets>
  <customwidget><class>AFXFullSizeContentWindow</class><extends>QWidget</extends></customwidget>
  <customwidget><class>AFXColorfulProgressIndicator</class><extends>QWidget</extends></customwidget>
  <customwidget><class>AFXDarkStyledButton</class><extends>QPushButton</extends></customwidget>
  <customwidget><class>AFXAutoscalingTextField</class><extends>QLabel</extends></customwidget>
  <customwidget><class>AFXPaginationView</class><extends>QWidget</extends></customwidget>
 </customwidgets>
</ui>
)";

TEST(InstallerControlsTest, EveryControlIsRegisteredByItsClassName) {
  AFXRegisterInstallerControlClasses();
  for (const char* name :
       {"AFXColorfulProgressIndicator", "AFXPaginationView", "AFXPageNumberView", "AFXLayerView", "AFXColoredButton",
        "AFXStyledButton", "AFXLightStyledButton", "AFXDarkStyledButton", "AFXHoverButton", "AFXServiceLinkButton",
        "AFXAutoscalingTextField", "AFXMultilineTextField", "AFXFullSizeContentWindow"}) {
    EXPECT_TRUE(QVIsViewClassRegistered(name)) << name;
  }
}

TEST(InstallerControlsTest, AResourceMakesTheControlsWithTheSettingsItGives) {
  qv_test::application();
  AFXRegisterInstallerControlClasses();
  const controls_test::ResourceBundle resources(std::map<std::string, std::string>{{"Window.ui", kWindowResource}});
  std::unique_ptr<AFXFullSizeContentWindow> window(
      QVMakeFromNibNamed<AFXFullSizeContentWindow>("Window", resources.bundle(), nullptr));
  ASSERT_NE(window, nullptr);

  auto* bar = dynamic_cast<AFXColorfulProgressIndicator*>(window->findChild<QWidget*>("progressBar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->maxValue(), 1.0);
  EXPECT_EQ(bar->doubleValue(), 0.5);
  EXPECT_EQ(bar->colorValue().toRgb(), QColor(38, 128, 253));
  EXPECT_FALSE(bar->animates());

  auto* button = dynamic_cast<AFXDarkStyledButton*>(window->findChild<QWidget*>("launchButton"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "Launch");
  EXPECT_EQ(button->cornerRadius(), 4.0);

  auto* status = dynamic_cast<AFXAutoscalingTextField*>(window->findChild<QWidget*>("statusTextField"));
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->maximumFontSize(), 12.0);

  // A resource's page selector reads its numbers from the main bundle;
  // with or without them there it pages soundly.
  auto* pages = dynamic_cast<AFXPaginationView*>(window->findChild<QWidget*>("paginationView"));
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->pagesCount(), 3);
  EXPECT_FALSE(pages->selectPreviousPageWithUserAction(true));
  EXPECT_TRUE(pages->selectNextPageWithUserAction(true));

  window->show();
  qv_test::processEvents();
  EXPECT_EQ(status->font().pointSizeF(), 12.0);
  // The title bar stays above what the resource added.
  const auto children = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  EXPECT_GT(children.indexOf(window->emptyTitleBarAccessoryView()), children.indexOf(bar));
}

}  // namespace
