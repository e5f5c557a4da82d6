#pragma once

// Shows errors as alerts and runs their recovery: a sheet on a window, or an
// application-modal alert when there is none. The alert's buttons are the
// error's recovery options; the one picked goes to the error's recovery
// attempt, whose answer, if any, is presented next at the same window.
// Validators registered per error domain see every error first and may
// replace or drop it.
//
// The alert is never run in a nested event loop (no exec()): it is shown and
// its close is handled when it comes, so the main queue keeps running while
// it is on screen.

#include <QAbstractButton>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/class.h"
#include "foundation/error.h"
#include "foundation/object.h"
#include "tools/recovery/qv_error_validators.h"

// The response of an alert's first button; the second answers 1001, and so on.
inline constexpr int QVAlertFirstButtonReturn = 1000;

// An image as an object, so that an error's user information can carry the
// alert's icon under QVErrorAlertIconKey. (Encoded image bytes, fnd::Data,
// are accepted there as well, for layers without Qt.)
class QVImage final : public fnd::Object {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVImage> imageWithQImage(QImage image);

  const QImage& image() const { return image_; }

  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  explicit QVImage(QImage image) : image_(std::move(image)) {}
  QImage image_;
};

// The response a button of an alert made by alertForError answers when it
// is picked; -1 for any other button (or none).
int QVAlertResponseOfButton(const QAbstractButton* button);
// The alert's button answering `response`; null when there is none.
QAbstractButton* QVAlertButtonWithResponse(const QMessageBox* alert, int response);

class QVErrorPresentationController : public std::enable_shared_from_this<QVErrorPresentationController> {
 public:
  static std::shared_ptr<QVErrorPresentationController> create();

  QVErrorPresentationController(const QVErrorPresentationController&) = delete;
  QVErrorPresentationController& operator=(const QVErrorPresentationController&) = delete;

  // Runs the validators of the error's domain on the calling thread (any
  // thread), then presents what they answer on the main queue: as a sheet on
  // `window`, or application-modally when `window` is null (or has gone by
  // then). Nothing is shown when a validator drops the error.
  void presentError(const fnd::Error& error, QWidget* window);

  // Appends a validator of `errorDomain`: an object and its operation
  // (std::optional<fnd::Error>(const fnd::Error&)), or any object and a
  // function of that kind. Safe from any thread.
  template <class Validator, class Selector>
  void addValidator(std::shared_ptr<Validator> validator, Selector selector, std::string errorDomain) {
    validators_.addValidator(std::move(validator), std::move(selector), std::move(errorDomain));
  }
  // The validators of a domain, in the order they were added.
  std::vector<QVErrorValidatorInfo> validatorInfosForErrorDomain(std::string_view errorDomain) const {
    return validators_.validatorInfosForErrorDomain(errorDomain);
  }

  // The alert for an error, not yet shown: message = description,
  // informative text = recovery suggestion, one button per recovery option in
  // order (a single "OK" without options), the icon and style of the error's
  // hints and the suppression check box when asked for. Main thread.
  std::unique_ptr<QMessageBox> alertForError(const fnd::Error& error, QWidget* parent = nullptr) const;

  // The alert this controller put on screen last that is still open; null
  // when none is. Main thread.
  QMessageBox* currentAlert() const;

 private:
  QVErrorPresentationController() = default;

  void _presentError(const fnd::Error& error, QWidget* window);

  QVErrorValidators validators_;
  // The alerts shown and not yet gone, oldest first; main thread only.
  std::vector<QPointer<QMessageBox>> alerts_;
};
