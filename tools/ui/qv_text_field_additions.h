#pragma once

// Typography for the application's text fields: a label (QLabel) for static
// text, a line edit (QLineEdit) for input. Each value is kept on the field
// itself as a dynamic property of the same name and reads 0 (false) until it
// is set.
//
// Kerning is the font's absolute letter spacing, in points, so it holds for
// whatever text the field shows. Line spacing (the gap added after each
// line) and the minimum and maximum line heights are laid out by the label's
// rich text: the label then shows its string value typeset, and
// QVStringValue answers the plain string. A line edit has one line, so only
// the kerning shows on it.

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

// Setting 0 is ignored (an earlier kerning stays).
double qv_fontKerning(const QWidget* field);
void qv_setFontKerning(QWidget* field, double kerning);

// Setting 0 is ignored. A negative spacing is kept but lays out as none.
double qv_lineSpacing(const QWidget* field);
void qv_setLineSpacing(QWidget* field, double lineSpacing);

// Setting a height that is not greater than 0 is ignored.
double qv_minLineHeight(const QWidget* field);
void qv_setMinLineHeight(QWidget* field, double height);
double qv_maxLineHeight(const QWidget* field);
void qv_setMaxLineHeight(QWidget* field, double height);

// True gives the field light text for a dark background; false the standard
// text colours.
bool qv_hasDarkBackground(const QWidget* field);
void qv_setHasDarkBackground(QWidget* field, bool dark);

// Sets the field's string value, always plain text, and applies the
// typography set on the field to it.
void QVSetStringValue(QLabel* label, const QString& text);
void QVSetStringValue(QLineEdit* field, const QString& text);
// The label's plain string, also while it shows it typeset.
QString QVStringValue(const QLabel* label);

// The field or one of its children has its window's focus.
bool qv_isFocused(const QWidget* field);
// Gives the field its window's focus, unless it has it already or is not
// inside a window (a field with no parent).
void qv_focus(QWidget* field);
