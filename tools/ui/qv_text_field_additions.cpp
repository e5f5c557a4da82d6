#include "tools/ui/qv_text_field_additions.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPalette>
#include <QTextDocument>
#include <QVariant>
#include <algorithm>

namespace {

constexpr char kFontKerning[] = "qv_fontKerning";
constexpr char kLineSpacing[] = "qv_lineSpacing";
constexpr char kMinLineHeight[] = "qv_minLineHeight";
constexpr char kMaxLineHeight[] = "qv_maxLineHeight";
constexpr char kHasDarkBackground[] = "qv_hasDarkBackground";
// The plain string a label shows typeset, and the rich text made from it: the
// label still shows that string only while its text is that rich text.
constexpr char kStringValue[] = "qv_stringValue";
constexpr char kTypesetText[] = "qv_typesetText";

double doubleProperty(const QWidget* field, const char* name) { return field->property(name).toDouble(); }

bool hasLineTypography(const QWidget* field) {
  return qv_lineSpacing(field) != 0 || qv_minLineHeight(field) > 0 || qv_maxLineHeight(field) > 0;
}

bool showsOwnTypesetting(const QLabel* label) {
  const QVariant typeset = label->property(kTypesetText);
  return typeset.isValid() && label->text() == typeset.toString();
}

void updateKerning(QWidget* field) {
  QFont font = field->font();
  font.setLetterSpacing(QFont::AbsoluteSpacing, qv_fontKerning(field));
  field->setFont(font);
}

QString cssLength(double value) { return QString::number(value, 'f', 2) + QStringLiteral("px"); }

void updateLineSpacing(QWidget* field) {
  auto* label = dynamic_cast<QLabel*>(field);
  if (!label) return;
  const QString text = QVStringValue(label);
  if (text.isEmpty()) return;
  // Rich text that did not come from here has no plain string to typeset.
  if (!showsOwnTypesetting(label) &&
      (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text)))) {
    return;
  }

  const double spacing = std::max(0.0, qv_lineSpacing(label));
  const double minHeight = qv_minLineHeight(label);
  const double maxHeight = qv_maxLineHeight(label);
  QString style = QStringLiteral("margin:0; white-space:pre-wrap; ");
  if (minHeight > 0 || maxHeight > 0) {
    // One line-height kind per paragraph: the clamped height of a line of
    // the label's font plus the spacing, fixed.
    double lineHeight = QFontMetricsF(label->font()).height();
    if (minHeight > 0) lineHeight = std::max(lineHeight, minHeight);
    if (maxHeight > 0) lineHeight = std::min(lineHeight, maxHeight);
    style += QStringLiteral("line-height:%1; -qt-line-height-type:fixed;").arg(cssLength(lineHeight + spacing));
  } else {
    style += QStringLiteral("line-height:%1; -qt-line-height-type:line-distance;").arg(cssLength(spacing));
  }
  const QString html = QStringLiteral("<p style=\"%1\">%2</p>").arg(style, text.toHtmlEscaped());
  label->setTextFormat(Qt::RichText);
  label->setText(html);
  label->setProperty(kStringValue, text);
  label->setProperty(kTypesetText, html);
}

void setTextColors(QPalette& palette, QPalette::ColorRole role, const QPalette& from, bool dark) {
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    QColor color = from.color(group, role);
    if (dark) color = group == QPalette::Disabled ? QColor(255, 255, 255, 128) : QColor(Qt::white);
    palette.setColor(group, role, color);
  }
}

}  // namespace

double qv_fontKerning(const QWidget* field) { return doubleProperty(field, kFontKerning); }

void qv_setFontKerning(QWidget* field, double kerning) {
  if (kerning == 0) return;
  field->setProperty(kFontKerning, kerning);
  updateKerning(field);
}

double qv_lineSpacing(const QWidget* field) { return doubleProperty(field, kLineSpacing); }

void qv_setLineSpacing(QWidget* field, double lineSpacing) {
  if (lineSpacing == 0) return;
  field->setProperty(kLineSpacing, lineSpacing);
  updateLineSpacing(field);
}

double qv_minLineHeight(const QWidget* field) { return doubleProperty(field, kMinLineHeight); }

void qv_setMinLineHeight(QWidget* field, double height) {
  if (!(height > 0)) return;
  field->setProperty(kMinLineHeight, height);
  updateLineSpacing(field);
}

double qv_maxLineHeight(const QWidget* field) { return doubleProperty(field, kMaxLineHeight); }

void qv_setMaxLineHeight(QWidget* field, double height) {
  if (!(height > 0)) return;
  field->setProperty(kMaxLineHeight, height);
  updateLineSpacing(field);
}

bool qv_hasDarkBackground(const QWidget* field) { return field->property(kHasDarkBackground).toBool(); }

void qv_setHasDarkBackground(QWidget* field, bool dark) {
  field->setProperty(kHasDarkBackground, dark);
  const QPalette standard = QApplication::palette(field);
  QPalette palette = field->palette();
  setTextColors(palette, QPalette::WindowText, standard, dark);
  setTextColors(palette, QPalette::Text, standard, dark);
  field->setPalette(palette);
}

void QVSetStringValue(QLabel* label, const QString& text) {
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  label->setProperty(kStringValue, QVariant());
  label->setProperty(kTypesetText, QVariant());
  if (qv_fontKerning(label) != 0) updateKerning(label);
  // Any of the three, not the spacing alone: a minimum or maximum line height
  // set by itself would otherwise be lost with the next string.
  if (hasLineTypography(label)) updateLineSpacing(label);
}

void QVSetStringValue(QLineEdit* field, const QString& text) {
  field->setText(text);
  if (qv_fontKerning(field) != 0) updateKerning(field);
}

QString QVStringValue(const QLabel* label) {
  return showsOwnTypesetting(label) ? label->property(kStringValue).toString() : label->text();
}

bool qv_isFocused(const QWidget* field) {
  const QWidget* focus = field->window()->focusWidget();
  return focus && (focus == field || field->isAncestorOf(focus));
}

void qv_focus(QWidget* field) {
  if (field->isWindow() || qv_isFocused(field)) return;
  field->setFocus(Qt::OtherFocusReason);
}
