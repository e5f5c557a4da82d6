#pragma once

// The installer's window tests: the application, the registered classes and
// the resources beside the test program, on manual time.

#include <QMessageBox>
#include <QWidget>

#include "installer/presentation/afx_installer_presentation.h"
#include "tools/ui/tests/qt_test_support.h"

inline void prepareInstallerPresentation() {
  qv_test::application();
  static const bool registered = [] {
    AFXRegisterInstallerPresentationClasses();
    return true;
  }();
  (void)registered;
}

// The alert with that identifier currently open, or null.
inline QMessageBox* openAlert(const char* identifier) {
  for (QWidget* widget : QApplication::allWidgets()) {
    auto* box = dynamic_cast<QMessageBox*>(widget);
    if (box && box->isVisible() && box->objectName() == identifier) return box;
  }
  return nullptr;
}
