// Errors shown as alerts: validators first, the sheet or application-modal
// alert, the option picked going to the recovery, follow-up errors, and
// alerts withdrawn when their recovery is no longer needed.

#include "tools/ui/qv_error_presentation_controller.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCheckBox>
#include <QTest>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "foundation/data.h"
#include "foundation/dictionary.h"
#include "tools/recovery/qv_error_presentation_keys.h"
#include "tools/recovery/qv_error_recovery.h"
#include "tools/ui/tests/qt_test_support.h"

namespace {

using fnd::Error;
using fnd::Value;

constexpr std::string_view kDomain = "com.quorvex.tests.presentation";

struct Recoveries {
  std::vector<std::size_t> indexes;
  std::optional<Error> answer;
};

QVErrorRecoveryAttemptBlock recordingBlock(const std::shared_ptr<Recoveries>& recoveries) {
  return [recoveries](const Error&, std::size_t index) {
    recoveries->indexes.push_back(index);
    return recoveries->answer;
  };
}

std::shared_ptr<fnd::Dictionary> hints(std::vector<fnd::Dictionary::Entry> entries) {
  return fnd::Dictionary::make(std::move(entries));
}

Error recoverableError(const std::shared_ptr<Recoveries>& recoveries, std::vector<std::string> options,
                       std::shared_ptr<fnd::Dictionary> userInfo = nullptr) {
  return errorWithDomain(kDomain, 1, "The disk is full.", "Free some space and try again.", options,
                         std::move(userInfo), recordingBlock(recoveries));
}

std::shared_ptr<fnd::Dictionary> identified(std::string_view identifier) {
  return hints({{Value(QVErrorAccessibilityIdentifierKey), Value(identifier)}});
}

// The open alerts, whatever their parent.
std::vector<QMessageBox*> openAlerts() {
  std::vector<QMessageBox*> alerts;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* alert = dynamic_cast<QMessageBox*>(widget); alert && alert->isVisible()) alerts.push_back(alert);
  }
  return alerts;
}

QMessageBox* openAlertNamed(const QString& name) {
  for (QMessageBox* alert : openAlerts()) {
    if (alert->objectName() == name) return alert;
  }
  return nullptr;
}

void click(QMessageBox* alert, int response) {
  QAbstractButton* button = QVAlertButtonWithResponse(alert, response);
  ASSERT_NE(button, nullptr) << "no button answers " << response;
  QTest::mouseClick(button, Qt::LeftButton);
  qv_test::processEvents();
}

QStringList buttonTitles(const QMessageBox* alert) {
  QStringList titles;
  for (int response = QVAlertFirstButtonReturn;; ++response) {
    QAbstractButton* button = QVAlertButtonWithResponse(alert, response);
    if (!button) return titles;
    titles << button->text();
  }
}

class QVErrorPresentationControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv_test::application();
    window_ = std::make_unique<QWidget>();
    window_->resize(400, 300);
    window_->show();
    qv_test::processEvents();
  }

  void TearDown() override {
    // An application-modal alert left open would block the next test.
    for (QMessageBox* alert : openAlerts()) delete alert;
    window_.reset();
    qv_test::processEvents();
  }

  // Presents the error and answers the alert that came up for it.
  QMessageBox* present(const Error& error, QWidget* window) {
    controller_->presentError(error, window);
    qv_test::processEvents();
    return controller_->currentAlert();
  }

  std::shared_ptr<QVErrorPresentationController> controller_ = QVErrorPresentationController::create();
  std::unique_ptr<QWidget> window_;
};

TEST_F(QVErrorPresentationControllerTest, ValidatorsOfTheDomainDropOrReplaceTheErrorInTurnOnTheCallingThread) {
  auto seen = std::make_shared<std::vector<Error>>();
  auto threads = std::make_shared<std::vector<std::thread::id>>();
  const Error replacement(kDomain, 2, {{Value(fnd::NSLocalizedDescriptionKey), Value("Replaced.")}});
  auto validator = std::make_shared<int>(0);
  controller_->addValidator(validator, QVErrorValidatorInfo::Selector([=](const Error& error) -> std::optional<Error> {
                              seen->push_back(error);
                              threads->push_back(std::this_thread::get_id());
                              if (error.code() == 9) return std::nullopt;
                              return replacement;
                            }),
                            std::string(kDomain));
  controller_->addValidator(validator, QVErrorValidatorInfo::Selector([=](const Error& error) -> std::optional<Error> {
                              seen->push_back(error);
                              return error;
                            }),
                            std::string(kDomain));

  // Dropped by the first validator: nothing shown, the second never asked.
  EXPECT_EQ(present(Error(kDomain, 9), window_.get()), nullptr);
  EXPECT_EQ(seen->size(), 1u);

  // Replaced: the second validator and the alert get the replacement.
  std::thread presenter([&] { controller_->presentError(Error(kDomain, 1), window_.get()); });
  const std::thread::id presenterId = presenter.get_id();
  presenter.join();
  ASSERT_EQ(seen->size(), 3u);
  EXPECT_EQ((*seen)[2], replacement);
  EXPECT_EQ(threads->back(), presenterId);
  EXPECT_TRUE(openAlerts().empty()) << "shown before the main queue ran";
  qv_test::processEvents();
  ASSERT_EQ(openAlerts().size(), 1u);
  EXPECT_EQ(openAlerts().front()->text(), "Replaced.");
}

TEST_F(QVErrorPresentationControllerTest, TheAlertShowsTheErrorsTextsOptionsStyleAndIcon) {
  auto recoveries = std::make_shared<Recoveries>();
  auto alert = controller_->alertForError(recoverableError(recoveries, {"Retry", "Save & Quit", "Cancel"}));
  EXPECT_EQ(alert->text(), "The disk is full.");
  EXPECT_EQ(alert->informativeText(), "Free some space and try again.");
  EXPECT_EQ(buttonTitles(alert.get()), (QStringList{"Retry", "Save && Quit", "Cancel"}));
  EXPECT_EQ(alert->escapeButton(), QVAlertButtonWithResponse(alert.get(), QVAlertFirstButtonReturn + 2));
  EXPECT_EQ(alert->icon(), QMessageBox::Warning);
  EXPECT_EQ(buttonTitles(controller_->alertForError(Error(kDomain, 3)).get()), QStringList{"OK"});
  EXPECT_EQ(controller_->alertForError(Error(kDomain, 3, {{Value(QVErrorAlertStyleKey), Value(NSAlertStyleCritical)}}))
                ->icon(),
            QMessageBox::Critical);

  // An icon given as an image or as encoded image bytes.
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  for (const Value& icon : {Value(QVImage::imageWithQImage(image)),
                            Value(fnd::Data::make(std::string_view(png.constData(), png.size())))}) {
    auto withIcon = controller_->alertForError(Error(kDomain, 3, {{Value(QVErrorAlertIconKey), icon}}));
    EXPECT_EQ(withIcon->iconPixmap().toImage().pixelColor(16, 16), QColor(Qt::red));
  }
}

TEST_F(QVErrorPresentationControllerTest, WithAWindowTheAlertIsASheetOnItOtherwiseApplicationModal) {
  auto recoveries = std::make_shared<Recoveries>();
  QMessageBox* sheet = present(recoverableError(recoveries, {"OK"}, identified("sheet-alert")), window_.get());
  QMessageBox* modal = present(recoverableError(recoveries, {"OK"}, identified("modal-alert")), nullptr);
  ASSERT_NE(sheet, nullptr);
  ASSERT_NE(modal, nullptr);
  EXPECT_EQ(window_->findChild<QMessageBox*>("sheet-alert"), sheet);
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  EXPECT_EQ(openAlertNamed("modal-alert"), modal);
  EXPECT_EQ(modal->parentWidget(), nullptr);
  EXPECT_EQ(modal->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(present(Error(kDomain, 5), nullptr)->objectName(), "") << "no identifier, no object name";

  // Shown, not run: the main queue keeps going while they are open.
  bool ran = false;
  fnd::Queue::main().async([&] { ran = true; });
  qv_test::processEvents();
  EXPECT_TRUE(ran);

  // Each application-modal alert blocks those shown before it.
  click(controller_->currentAlert(), QVAlertFirstButtonReturn);
  EXPECT_EQ(controller_->currentAlert(), modal);
  click(modal, QVAlertFirstButtonReturn);
  click(sheet, QVAlertFirstButtonReturn);
  EXPECT_EQ(recoveries->indexes, (std::vector<std::size_t>{0, 0}));
  EXPECT_EQ(controller_->currentAlert(), nullptr);
}

TEST_F(QVErrorPresentationControllerTest, TheButtonPickedGivesTheRecoveryItsIndexAndReturnTheFirstUnlessDestructive) {
  auto recoveries = std::make_shared<Recoveries>();
  const std::vector<std::string> options{"Retry", "Skip", "Cancel"};
  click(present(recoverableError(recoveries, options), window_.get()), QVAlertFirstButtonReturn + 1);
  QTest::keyClick(present(recoverableError(recoveries, options), window_.get()), Qt::Key_Return);
  QTest::keyClick(present(recoverableError(recoveries, options), window_.get()), Qt::Key_Escape);
  qv_test::processEvents();
  EXPECT_EQ(recoveries->indexes, (std::vector<std::size_t>{1, 0, 2}));
  EXPECT_TRUE(openAlerts().empty());

  const auto destructive = hints({{Value(QVErrorDestructiveOptionsKey), Value(true)}});
  QMessageBox* alert = present(recoverableError(recoveries, options, destructive), window_.get());
  ASSERT_NE(alert, nullptr);
  QTest::keyClick(alert, Qt::Key_Return);
  QTest::keyClick(alert, Qt::Key_Enter, Qt::KeypadModifier);
  // Where the keyboard really goes: the focused button.
  if (QWidget* focused = alert->focusWidget()) QTest::keyClick(focused, Qt::Key_Return);
  qv_test::processEvents();
  EXPECT_TRUE(alert->isVisible());
  EXPECT_EQ(recoveries->indexes.size(), 3u);
}

TEST_F(QVErrorPresentationControllerTest, AFollowUpErrorIsShownAtTheSameWindowOnceTheFirstCloses) {
  auto second = std::make_shared<Recoveries>();
  auto first = std::make_shared<Recoveries>();
  first->answer = recoverableError(second, {"Retry", "Quit"}, identified("second"));
  click(present(recoverableError(first, {"Continue"}, identified("first")), window_.get()), QVAlertFirstButtonReturn);
  EXPECT_EQ(openAlertNamed("first"), nullptr);
  QMessageBox* next = openAlertNamed("second");
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->parentWidget(), window_.get());
  click(next, QVAlertFirstButtonReturn + 1);
  EXPECT_EQ(second->indexes, (std::vector<std::size_t>{1}));

  // A controller gone by then shows no follow-up; the recovery still runs.
  auto third = std::make_shared<Recoveries>();
  third->answer = recoverableError(second, {"OK"});
  QMessageBox* last = present(recoverableError(third, {"OK"}), window_.get());
  controller_.reset();
  click(last, QVAlertFirstButtonReturn);
  EXPECT_EQ(third->indexes, (std::vector<std::size_t>{0}));
  EXPECT_TRUE(openAlerts().empty());
}

TEST_F(QVErrorPresentationControllerTest, NoNeedForRecoveryWithdrawsTheOpenAlertWithoutRunningTheRecovery) {
  auto recoveries = std::make_shared<Recoveries>();
  recoveries->answer = Error(kDomain, 8);
  const Error sheetError = recoverableError(recoveries, {"Retry", "Cancel"});
  const Error modalError = recoverableError(recoveries, {"Retry", "Cancel"});
  ASSERT_NE(present(sheetError, window_.get()), nullptr);
  ASSERT_NE(present(modalError, nullptr), nullptr);
  EXPECT_TRUE(isPresentationLaunched(sheetError));

  noNeedForRecovery(sheetError);
  std::thread elsewhere([&] { noNeedForRecovery(modalError); });
  elsewhere.join();
  qv_test::processEvents();
  EXPECT_TRUE(openAlerts().empty());
  EXPECT_TRUE(recoveries->indexes.empty());
  EXPECT_TRUE(isPresentationCancelled(sheetError));
  EXPECT_TRUE(isPresentationCancelled(modalError));
}

TEST_F(QVErrorPresentationControllerTest, TheSuppressionCheckBoxReportsItsStateWhenTheAlertCloses) {
  auto states = std::make_shared<std::vector<std::int64_t>>();
  auto suppression = [&](bool shouldShow) {
    return hints({{Value(QVErrorSuppressionButtonInfoKey),
                   Value(hints({{Value(QVErrorSuppressionButtonInfoShouldShowKey), Value(shouldShow)},
                                {Value(QVErrorSuppressionButtonInfoTitleKey), Value("Don't ask again")},
                                {Value(QVErrorSuppressionButtonInfoInitialStateKey), Value(1)},
                                {Value(QVErrorSuppressionButtonInfoCompletionKey),
                                 Value(QVErrorSuppressionCompletion::make(
                                     [states](std::int64_t state) { states->push_back(state); }))}}))}});
  };
  auto recoveries = std::make_shared<Recoveries>();
  QMessageBox* alert = present(recoverableError(recoveries, {"OK"}, suppression(true)), window_.get());
  ASSERT_NE(alert->checkBox(), nullptr);
  EXPECT_EQ(alert->checkBox()->text(), "Don't ask again");
  EXPECT_EQ(alert->checkBox()->checkState(), Qt::Checked);
  QTest::mouseClick(alert->checkBox(), Qt::LeftButton);
  click(alert, QVAlertFirstButtonReturn);
  EXPECT_EQ(*states, (std::vector<std::int64_t>{0}));

  // Told also when the alert is withdrawn; not at all when not asked for.
  const Error withdrawn = recoverableError(recoveries, {"OK"}, suppression(true));
  present(withdrawn, window_.get());
  noNeedForRecovery(withdrawn);
  QMessageBox* plain = present(recoverableError(recoveries, {"OK"}, suppression(false)), window_.get());
  EXPECT_EQ(plain->checkBox(), nullptr);
  click(plain, QVAlertFirstButtonReturn);
  EXPECT_EQ(*states, (std::vector<std::int64_t>{0, 1}));
  EXPECT_EQ(recoveries->indexes, (std::vector<std::size_t>{0, 0}));
}

}  // namespace
