#include "tools/ui/qv_error_presentation_controller.h"

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "foundation/check.h"
#include "foundation/data.h"
#include "foundation/queue.h"
#include "tools/recovery/qv_error_presentation_keys.h"
#include "tools/recovery/qv_error_recovery_presentation.h"

namespace {

// The dynamic property under which each button of an alert keeps its response.
constexpr char kResponseProperty[] = "qv_alertResponse";

// The platform's title of the button that answers Escape.
constexpr char kCancelTitle[] = "Cancel";
constexpr char kDefaultButtonTitle[] = "OK";
constexpr char kDefaultSuppressionTitle[] = "Do not show this message again";

// Control states as the platform numbers them.
constexpr std::int64_t kControlStateOff = 0;
constexpr std::int64_t kControlStateOn = 1;
constexpr std::int64_t kControlStateMixed = -1;

QString qString(const std::string& text) { return QString::fromStdString(text); }

// Titles are literal: an ampersand is not a mnemonic.
QString literalTitle(const std::string& title) {
  return qString(title).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

bool boolHint(const fnd::Error& error, std::string_view key) {
  return error.userInfoValue(key).boolValue().value_or(false);
}

// The suppression dictionary when it asks for the check box.
std::shared_ptr<fnd::Dictionary> shownSuppressionInfo(const fnd::Error& error) {
  auto info = error.userInfoValue(QVErrorSuppressionButtonInfoKey).as<fnd::Dictionary>();
  if (!info) return nullptr;
  if (!info->objectForKey(QVErrorSuppressionButtonInfoShouldShowKey).boolValue().value_or(false)) return nullptr;
  return info;
}

std::optional<QImage> iconImage(const fnd::Value& value) {
  if (auto image = value.as<QVImage>(); image && !image->image().isNull()) return image->image();
  if (auto data = value.as<fnd::Data>()) {
    const auto& bytes = data->bytes();
    QImage decoded = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
    if (!decoded.isNull()) return decoded;
  }
  return std::nullopt;
}

QMessageBox::Icon iconForAlertStyle(std::int64_t style) {
  switch (style) {
    case static_cast<std::int64_t>(NSAlertStyleInformational):
      return QMessageBox::Information;
    case static_cast<std::int64_t>(NSAlertStyleCritical):
      return QMessageBox::Critical;
    default:
      return QMessageBox::Warning;
  }
}

Qt::CheckState checkStateForControlState(std::int64_t state) {
  if (state < 0) return Qt::PartiallyChecked;
  return state > 0 ? Qt::Checked : Qt::Unchecked;
}

std::int64_t controlStateForCheckState(Qt::CheckState state) {
  switch (state) {
    case Qt::Checked:
      return kControlStateOn;
    case Qt::PartiallyChecked:
      return kControlStateMixed;
    case Qt::Unchecked:
      break;
  }
  return kControlStateOff;
}

}  // namespace

const fnd::Class& QVImage::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVImage", &fnd::Object::staticClass());
  return cls;
}

std::shared_ptr<QVImage> QVImage::imageWithQImage(QImage image) {
  return std::shared_ptr<QVImage>(new QVImage(std::move(image)));
}

int QVAlertResponseOfButton(const QAbstractButton* button) {
  if (!button) return -1;
  bool ok = false;
  const int response = button->property(kResponseProperty).toInt(&ok);
  return ok ? response : -1;
}

QAbstractButton* QVAlertButtonWithResponse(const QMessageBox* alert, int response) {
  if (!alert) return nullptr;
  for (QAbstractButton* button : alert->buttons()) {
    if (QVAlertResponseOfButton(button) == response) return button;
  }
  return nullptr;
}

std::shared_ptr<QVErrorPresentationController> QVErrorPresentationController::create() {
  return std::shared_ptr<QVErrorPresentationController>(new QVErrorPresentationController());
}

void QVErrorPresentationController::presentError(const fnd::Error& error, QWidget* window) {
  std::optional<fnd::Error> validated = validators_.validateError(error);
  if (!validated) return;
  // The hop holds the controller: an error handed over is shown even when
  // its caller lets go of the controller meanwhile. A window that is gone by
  // then leaves an application-modal alert rather than none.
  fnd::Queue::main().async([self = shared_from_this(), error = std::move(*validated), window = QPointer(window)] {
    self->_presentError(error, window.data());
  });
}

std::unique_ptr<QMessageBox> QVErrorPresentationController::alertForError(const fnd::Error& error,
                                                                          QWidget* parent) const {
  FND_PARAMETER_ASSERT(fnd::Queue::main().isCurrent());
  auto alert = std::make_unique<QMessageBox>(parent);
  alert->setTextFormat(Qt::PlainText);
  alert->setText(qString(error.localizedDescription()));
  if (auto suggestion = error.localizedRecoverySuggestion()) alert->setInformativeText(qString(*suggestion));

  std::vector<std::string> options = error.localizedRecoveryOptions();
  if (options.empty()) options.emplace_back(kDefaultButtonTitle);
  for (std::size_t index = 0; index < options.size(); ++index) {
    // One role for all keeps the buttons in the options' order, and no role
    // the button box would make default on its own.
    QPushButton* button = alert->addButton(literalTitle(options[index]), QMessageBox::ActionRole);
    button->setProperty(kResponseProperty, QVAlertFirstButtonReturn + static_cast<int>(index));
    // The button's own flag, not QMessageBox::setDefaultButton: the message
    // box puts its default back whenever it lays out, which would defeat
    // taking it away for destructive options.
    if (index == 0) button->setDefault(true);
    if (options.size() > 1 && options[index] == kCancelTitle) alert->setEscapeButton(button);
  }

  // The style shows as the standard icon; an icon of the error's own
  // replaces it.
  const auto style = error.userInfoValue(QVErrorAlertStyleKey).integerValue();
  alert->setIcon(iconForAlertStyle(style.value_or(static_cast<std::int64_t>(NSAlertStyleWarning))));
  if (auto image = iconImage(error.userInfoValue(QVErrorAlertIconKey))) {
    const int side = alert->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, alert.get());
    QPixmap pixmap = QPixmap::fromImage(*image);
    if (pixmap.width() > side || pixmap.height() > side) {
      pixmap = pixmap.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    alert->setIconPixmap(pixmap);
  }

  if (auto suppression = shownSuppressionInfo(error)) {
    const auto title = suppression->objectForKey(QVErrorSuppressionButtonInfoTitleKey).stringValue();
    auto* checkBox = new QCheckBox(title ? literalTitle(*title) : QString::fromLatin1(kDefaultSuppressionTitle));
    if (auto state = suppression->objectForKey(QVErrorSuppressionButtonInfoInitialStateKey).integerValue()) {
      const Qt::CheckState checkState = checkStateForControlState(*state);
      checkBox->setTristate(checkState == Qt::PartiallyChecked);
      checkBox->setCheckState(checkState);
    }
    alert->setCheckBox(checkBox);
  }
  return alert;
}

QMessageBox* QVErrorPresentationController::currentAlert() const {
  FND_PARAMETER_ASSERT(fnd::Queue::main().isCurrent());
  for (auto it = alerts_.rbegin(); it != alerts_.rend(); ++it) {
    if (*it && (*it)->isVisible()) return it->data();
  }
  return nullptr;
}

void QVErrorPresentationController::_presentError(const fnd::Error& error, QWidget* window) {
  FND_PARAMETER_ASSERT(fnd::Queue::main().isCurrent());
  QMessageBox* alert = alertForError(error, window).release();
  alert->setObjectName(qString(error.userInfoValue(QVErrorAccessibilityIdentifierKey).stringValue().value_or("")));

  if (boolHint(error, QVErrorDestructiveOptionsKey)) {
    // Return must pick nothing: no button is default, and none becomes so
    // when it takes the focus or the dialog looks for one on showing.
    for (QAbstractButton* button : alert->buttons()) {
      if (auto* pushButton = dynamic_cast<QPushButton*>(button)) {
        pushButton->setDefault(false);
        pushButton->setAutoDefault(false);
      }
    }
  }

  const bool activate = !boolHint(error, QVErrorSuppressActivationKey);
  if (!activate) alert->setAttribute(Qt::WA_ShowWithoutActivating);

  // Both ways of showing are withdrawn alike: closed with the first button's
  // response, which the withdrawn recovery then ignores.
  struct CloseState {
    bool closed = false;
    bool withdrawn = false;
  };
  auto closeState = std::make_shared<CloseState>();
  auto withdraw = [alert = QPointer(alert), closeState] {
    if (!alert || closeState->closed) return;
    closeState->withdrawn = true;
    alert->done(QVAlertFirstButtonReturn);
  };
  auto recovery = std::make_shared<QVErrorRecoveryPresentation>(error, std::move(withdraw));

  const bool showsSuppression = shownSuppressionInfo(error) != nullptr;
  QObject::connect(
      alert, &QDialog::finished, alert,
      [alert, closeState, recovery, showsSuppression, window = QPointer(window), weakSelf = weak_from_this()](int) {
        if (closeState->closed) return;
        closeState->closed = true;
        int response = QVAlertFirstButtonReturn;
        if (!closeState->withdrawn) {
          // Closed by the window system: the dialog reports it before it
          // records the Escape button as the one clicked.
          const QAbstractButton* picked = alert->clickedButton() ? alert->clickedButton() : alert->escapeButton();
          if (const int pickedResponse = QVAlertResponseOfButton(picked); pickedResponse >= 0) {
            response = pickedResponse;
          }
        }
        if (showsSuppression && alert->checkBox()) {
          auto info = shownSuppressionInfo(recovery->error());
          if (auto completion =
                  info->objectForKey(QVErrorSuppressionButtonInfoCompletionKey).as<QVErrorSuppressionCompletion>()) {
            (*completion)(controlStateForCheckState(alert->checkBox()->checkState()));
          }
        }
        alert->deleteLater();
        if (const auto self = weakSelf.lock()) {
          std::erase_if(self->alerts_,
                        [alert](const QPointer<QMessageBox>& shown) { return !shown || shown == alert; });
        }
        std::optional<fnd::Error> next =
            recovery->alertDidCloseWithOptionIndex(static_cast<std::size_t>(response - QVAlertFirstButtonReturn));
        // The recovery may have let go of the controller.
        if (!next) return;
        if (const auto self = weakSelf.lock()) self->presentError(*next, window.data());
      });

  std::erase_if(alerts_, [](const QPointer<QMessageBox>& shown) { return !shown; });
  alerts_.emplace_back(alert);
  if (window) {
    alert->setWindowModality(Qt::WindowModal);
    if (activate) window->window()->raise();
    alert->open();
  } else {
    // open() would make it window-modal; show() keeps the modality asked for
    // without a nested event loop.
    alert->setWindowModality(Qt::ApplicationModal);
    alert->show();
  }
  if (activate) {
    alert->raise();
    alert->activateWindow();
  }
}
