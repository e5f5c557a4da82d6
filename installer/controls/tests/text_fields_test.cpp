// The text fields: the autoscaling field's fitted size, and the multi-line
// field's size for a width or from its layout delegate.

#include <gtest/gtest.h>

#include <QFontMetricsF>

#include "installer/controls/afx_autoscaling_text_field.h"
#include "installer/controls/afx_multiline_text_field.h"
#include "tools/ui/tests/qt_test_support.h"

namespace {

class TextFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override { qv_test::application(); }
};

bool fits(const AFXAutoscalingTextField& field, double size) {
  QFont font = field.font();
  font.setPointSizeF(size);
  return QFontMetricsF(font).horizontalAdvance(field.text()) <= field.width() - 4.0;
}

const QString kLongText = "Installing everything the app needs before it can start for the first time";

TEST_F(TextFieldsTest, AnAutoscalingFieldKeepsThirteenWhenItFitsAndNineWhenNothingFits) {
  // Shown: a hidden widget hears of its new size only when it is shown.
  AFXAutoscalingTextField field;
  field.resize(300, 20);
  field.show();
  field.setText("Ready");
  EXPECT_EQ(field.font().pointSizeF(), 13.0);

  field.setText(kLongText);
  EXPECT_FALSE(fits(field, 9));
  EXPECT_EQ(field.font().pointSizeF(), 9.0);

  // Wide enough again: back to the largest size.
  field.resize(2000, 20);
  EXPECT_EQ(field.font().pointSizeF(), 13.0);
}

TEST_F(TextFieldsTest, AnAutoscalingFieldTakesTheLargestWholeSizeThatFits) {
  AFXAutoscalingTextField field;
  field.show();
  field.setText(kLongText);
  QFont at11 = field.font();
  at11.setPointSizeF(11);
  field.resize(static_cast<int>(QFontMetricsF(at11).horizontalAdvance(kLongText) + 4.0 + 1.0), 20);
  const double size = field.font().pointSizeF();
  EXPECT_GT(size, 9.0);
  EXPECT_LT(size, 13.0);
  EXPECT_TRUE(fits(field, size));
  EXPECT_FALSE(fits(field, size + 1.0));
}

TEST_F(TextFieldsTest, TextSetThroughTheLabelIsFittedBeforeItIsDrawn) {
  AFXAutoscalingTextField field;
  field.resize(120, 20);
  static_cast<QLabel&>(field).setText(kLongText);
  field.show();
  field.grab();
  EXPECT_EQ(field.font().pointSizeF(), 9.0);
}

struct FixedSizeDelegate final : AFXMultilineTextFieldLayoutDelegate {
  QSize preferredIntristicSizeForTextField(AFXMultilineTextField*) override { return QSize(123, 45); }
};

TEST_F(TextFieldsTest, AMultilineFieldWrapsToItsWidthConstraint) {
  AFXMultilineTextField field;
  EXPECT_TRUE(field.wordWrap());
  field.setWidthConstraint(200.0);
  EXPECT_EQ(field.sizeHint(), QSize(0, 0));
  EXPECT_EQ(field.width(), 200);

  field.setText(kLongText);
  const QSize size = field.sizeHint();
  const QFontMetricsF metrics(field.font());
  EXPECT_LE(size.width(), 196);
  EXPECT_GT(size.width(), 150);
  // Several lines, each no wider than the width less the inset.
  EXPECT_GE(size.height(), static_cast<int>(2 * metrics.lineSpacing()));
  EXPECT_EQ(field.minimumSizeHint(), size);

  field.setWidthConstraint(std::nullopt);
  EXPECT_EQ(field.maximumWidth(), QWIDGETSIZE_MAX);
  EXPECT_EQ(field.sizeHint(), field.QLabel::sizeHint());
}

TEST_F(TextFieldsTest, AMultilineFieldAsksItsLayoutDelegateWhileItLives) {
  AFXMultilineTextField field;
  field.setText(kLongText);
  field.setWidthConstraint(200.0);
  auto delegate = std::make_shared<FixedSizeDelegate>();
  field.setLayoutDelegate(delegate);
  EXPECT_EQ(field.sizeHint(), QSize(123, 45));
  delegate.reset();
  EXPECT_EQ(field.layoutDelegate(), nullptr);
  EXPECT_LE(field.sizeHint().width(), 196);
}

}  // namespace
