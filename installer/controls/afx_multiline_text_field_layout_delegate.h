#pragma once

#include <QSize>

class AFXMultilineTextField;

// Decides a multi-line text field's preferred size (the name is spelled so).
class AFXMultilineTextFieldLayoutDelegate {
 public:
  virtual ~AFXMultilineTextFieldLayoutDelegate() = default;
  virtual QSize preferredIntristicSizeForTextField(AFXMultilineTextField* textField) = 0;
};
