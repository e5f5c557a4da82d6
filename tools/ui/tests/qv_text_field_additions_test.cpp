// Text-field typography: kerning, line spacing and line heights kept across
// new strings, the setters' ignore rules, the dark background and focus.

#include "tools/ui/qv_text_field_additions.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QVBoxLayout>

#include "tools/ui/tests/qt_test_support.h"

namespace {

constexpr char kThreeLines[] = "one\ntwo\nthree";

int heightOf(const QLabel& label) { return label.sizeHint().height(); }

class QVTextFieldAdditionsTest : public ::testing::Test {
 protected:
  void SetUp() override { qv_test::application(); }
};

TEST_F(QVTextFieldAdditionsTest, KerningSpacesTheLettersAndZeroLeavesAnEarlierKerning) {
  QLabel label;
  QVSetStringValue(&label, "Korvia");
  const int plainWidth = label.sizeHint().width();
  qv_setFontKerning(&label, 2.5);
  EXPECT_EQ(label.font().letterSpacingType(), QFont::AbsoluteSpacing);
  EXPECT_GT(label.sizeHint().width(), plainWidth + 10);
  qv_setFontKerning(&label, 0);
  EXPECT_EQ(qv_fontKerning(&label), 2.5);
  EXPECT_EQ(label.font().letterSpacing(), 2.5);

  // A font set meanwhile gets the kerning back with the next string.
  label.setFont(QFont(label.font().family(), 20));
  QVSetStringValue(&label, "Installer");
  EXPECT_EQ(label.font().pointSize(), 20);
  EXPECT_EQ(label.font().letterSpacing(), 2.5);

  QLineEdit field;
  qv_setFontKerning(&field, -0.5);
  QVSetStringValue(&field, "name@example.com");
  EXPECT_EQ(field.font().letterSpacing(), -0.5);
}

TEST_F(QVTextFieldAdditionsTest, SettersIgnoreZeroSpacingAndHeightsThatAreNotPositive) {
  QLabel label(kThreeLines);
  qv_setLineSpacing(&label, 0);
  qv_setMinLineHeight(&label, 0);
  qv_setMaxLineHeight(&label, -3);
  EXPECT_EQ(label.text(), kThreeLines) << "nothing applied";
  EXPECT_EQ(qv_lineSpacing(&label) + qv_minLineHeight(&label) + qv_maxLineHeight(&label), 0.0);

  qv_setLineSpacing(&label, 4);
  qv_setLineSpacing(&label, 0);
  qv_setMinLineHeight(&label, 30);
  qv_setMinLineHeight(&label, -1);
  qv_setMaxLineHeight(&label, 40);
  qv_setMaxLineHeight(&label, 0);
  EXPECT_EQ(qv_lineSpacing(&label), 4.0);
  EXPECT_EQ(qv_minLineHeight(&label), 30.0);
  EXPECT_EQ(qv_maxLineHeight(&label), 40.0);
}

TEST_F(QVTextFieldAdditionsTest, LineSpacingAndHeightsShapeEveryLineOfEachNewString) {
  QLabel label;
  QVSetStringValue(&label, kThreeLines);
  const int plain = heightOf(label);
  const int line = label.fontMetrics().height();
  qv_setLineSpacing(&label, 10);
  EXPECT_NEAR(heightOf(label), plain + 3 * 10, 2);
  EXPECT_EQ(QVStringValue(&label), kThreeLines);
  QVSetStringValue(&label, "a\nb");
  EXPECT_NEAR(heightOf(label), 2 * (line + 10), 2);
  EXPECT_EQ(QVStringValue(&label), "a\nb");
  QVSetStringValue(&label, "");
  EXPECT_TRUE(label.text().isEmpty());

  // Heights clamp each line; spacing comes on top. A height set alone
  // survives a new string as well.
  QLabel tall;
  qv_setMinLineHeight(&tall, line + 20);
  QVSetStringValue(&tall, kThreeLines);
  EXPECT_NEAR(heightOf(tall), 3 * (line + 20), 2);
  qv_setLineSpacing(&tall, 5);
  EXPECT_NEAR(heightOf(tall), 3 * (line + 25), 2);
  QLabel tight;
  QVSetStringValue(&tight, kThreeLines);
  qv_setMaxLineHeight(&tight, line - 4);
  EXPECT_NEAR(heightOf(tight), 3 * (line - 4), 2);

  // Markup in a string value is text, typeset or not; text set directly is
  // the string value again.
  QLabel markup;
  QVSetStringValue(&markup, "<b>bold</b> & more");
  qv_setLineSpacing(&markup, 3);
  EXPECT_EQ(QVStringValue(&markup), "<b>bold</b> & more");
  QLabel literal;
  literal.setTextFormat(Qt::PlainText);
  literal.setText("<b>bold</b> & more");
  EXPECT_EQ(markup.sizeHint().width(), literal.sizeHint().width());
  markup.setText("direct");
  EXPECT_EQ(QVStringValue(&markup), "direct");
}

TEST_F(QVTextFieldAdditionsTest, DarkBackgroundGivesLightTextAndBackTheStandardColours) {
  QLabel label("text");
  const QColor standard = QApplication::palette(&label).color(QPalette::Active, QPalette::WindowText);
  ASSERT_NE(standard, QColor(Qt::white));
  qv_setHasDarkBackground(&label, true);
  EXPECT_TRUE(qv_hasDarkBackground(&label));
  EXPECT_EQ(label.palette().color(QPalette::Inactive, QPalette::WindowText), QColor(Qt::white));
  qv_setHasDarkBackground(&label, false);
  EXPECT_EQ(label.palette().color(QPalette::Active, QPalette::WindowText), standard);
}

TEST_F(QVTextFieldAdditionsTest, FocusFollowsTheWindowsFocusWidget) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* first = new QLineEdit;
  auto* container = new QWidget;
  auto* second = new QLineEdit(container);
  layout->addWidget(first);
  layout->addWidget(container);
  window.show();
  qv_test::processEvents();

  qv_focus(first);
  EXPECT_TRUE(qv_isFocused(first));
  qv_focus(second);
  EXPECT_TRUE(qv_isFocused(second));
  EXPECT_TRUE(qv_isFocused(container)) << "an ancestor of the focus is on its chain";
  EXPECT_FALSE(qv_isFocused(first));

  QLineEdit loose;
  qv_focus(&loose);
  EXPECT_FALSE(qv_isFocused(&loose));
}

}  // namespace
