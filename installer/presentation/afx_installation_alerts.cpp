#include "installer/presentation/afx_installation_alerts.h"

#include <QAbstractButton>
#include <QPushButton>

#include "installer/presentation/afx_installer_accessibility.h"
#include "installer/presentation/afx_installer_resources.h"

namespace {

QMessageBox* alert(QMessageBox::Icon style, std::string_view windowIdentifier, const std::string& message,
                   const std::string& informative, const std::string& first, const std::string& second) {
  auto* box = new QMessageBox;
  box->setIcon(style);
  box->setText(AFXQString(message));
  box->setInformativeText(AFXQString(informative));
  // Roles keep the order: the first button leads and takes Return.
  QPushButton* firstButton = box->addButton(AFXQString(first), QMessageBox::AcceptRole);
  QPushButton* secondButton = box->addButton(AFXQString(second), QMessageBox::RejectRole);
  box->setDefaultButton(firstButton);
  // Escape keeps what is going on (continue, retry); quitting takes a click.
  box->setEscapeButton(firstButton);
  AFXSetAccessibilityIdentifier(box, windowIdentifier);
  AFXSetAccessibilityIdentifier(firstButton, AFXInstallerAccessibilityIdentifierInstallationAlertDefaultButton);
  AFXSetAccessibilityIdentifier(secondButton, AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton);
  return box;
}

}  // namespace

QMessageBox* AFXInstallationIncompleteAlert() {
  return alert(QMessageBox::Warning, AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow,
               AFXInstallerLocalizedString("IncompleteInstallAlertTitle"),
               AFXInstallerLocalizedString("IncompleteInstallAlertDescription"),
               AFXInstallerLocalizedString("IncompleteInstallAlertDefaultButton"),
               AFXInstallerLocalizedString("IncompleteInstallAlertAlterButton"));
}

QMessageBox* AFXInstallationErrorAlert(const std::optional<std::string>& description) {
  return alert(QMessageBox::Critical, AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow,
               AFXInstallerLocalizedString("FailedInstallAlertTitle"),
               description ? *description : AFXInstallerLocalizedString("FailedInstallAlertDefaultDescription"),
               AFXInstallerLocalizedString("FailedInstallAlertDefaultButton"),
               AFXInstallerLocalizedString("FailedInstallAlertAlterButton"));
}

void AFXBeginSheetModal(QMessageBox* alert, QWidget* window, std::function<void(int response)> handler) {
  alert->setParent(window, alert->windowFlags() | Qt::Sheet);
  alert->setWindowModality(Qt::WindowModal);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  auto answered = std::make_shared<bool>(false);
  QObject::connect(alert, &QMessageBox::buttonClicked, alert,
                   [alert, handler, answered](QAbstractButton* button) {
                     if (*answered) return;
                     *answered = true;
                     const bool first = alert->buttonRole(button) == QMessageBox::AcceptRole;
                     handler(first ? AFXAlertFirstButtonReturn : AFXAlertSecondButtonReturn);
                   });
  // Closing the sheet otherwise counts as the first button, like Escape.
  QObject::connect(alert, &QDialog::finished, alert, [handler, answered](int) {
    if (*answered) return;
    *answered = true;
    handler(AFXAlertFirstButtonReturn);
  });
  alert->open();
}
