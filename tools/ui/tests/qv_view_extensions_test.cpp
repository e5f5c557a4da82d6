// Views made from interface resources by class, embedding, snapshots and the
// main queue on the event loop.

#include "tools/ui/qv_view_extensions.h"

#include <gtest/gtest.h>

#include <QGridLayout>
#include <QLabel>
#include <atomic>
#include <thread>

#include "foundation/queue.h"
#include "tools/ui/qv_color_extensions.h"
#include "tools/ui/tests/qt_test_support.h"

namespace {

class QVProbeView : public QWidget {
 public:
  using QWidget::QWidget;
};
class QVProbeChild : public QWidget {
 public:
  using QWidget::QWidget;
};
class QVOtherView : public QWidget {
 public:
  using QWidget::QWidget;
};

std::shared_ptr<fnd::Bundle> testBundle() {
  return fnd::Bundle::bundleWithPath(QVTOOLS_UI_TEST_BUNDLE);
}

class ViewExtensionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv_test::application();
    QVRegisterViewClass<QVProbeView>("QVProbeView");
    QVRegisterViewClass<QVProbeChild>("QVProbeChild");
  }
};

TEST_F(ViewExtensionsTest, AResourceNamedAfterItsClassMakesThatClassWithItsOutlets) {
  QWidget owner;
  auto* view = QVMakeFromNibNamed<QVProbeView>("QVProbeView", testBundle(), &owner);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->parentWidget(), &owner);
  EXPECT_EQ(view->objectName(), "probe");
  auto* title = view->findChild<QLabel*>("titleLabel");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->text(), "Probe");
  EXPECT_NE(dynamic_cast<QVProbeChild*>(view->findChild<QWidget*>("child")), nullptr);
}

TEST_F(ViewExtensionsTest, AResourceWithoutAnInstanceOfTheClassOrNoResourceAtAllYieldsNone) {
  EXPECT_EQ(QVMakeFromNibNamed<QVOtherView>("QVProbeView", testBundle(), nullptr), nullptr);
  EXPECT_EQ(QVMakeFromNibNamed<QVProbeView>("QVPlainWidget", testBundle(), nullptr), nullptr);
  EXPECT_EQ(QVMakeFromNibNamed<QVProbeView>("Missing", testBundle(), nullptr), nullptr);
  EXPECT_EQ(QVMakeFromNibNamed<QVProbeView>("../Resources/QVProbeView", testBundle(), nullptr), nullptr);
}

TEST_F(ViewExtensionsTest, EmbeddedViewsFillTheContainerAndStackAsAsked) {
  QWidget container;
  container.resize(200, 100);
  auto* first = new QWidget;
  auto* second = new QWidget;
  auto* under = new QWidget;
  QVEmbedView(&container, first);
  QVEmbedView(&container, second);
  QVEmbedView(&container, under, QVWindowOrder::Below, second);
  container.show();
  qv_test::processEvents();
  for (QWidget* view : {first, second, under}) EXPECT_EQ(view->geometry(), container.rect());
  // Stacking: children() lists from bottom to top.
  const auto order = container.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  EXPECT_LT(order.indexOf(under), order.indexOf(second));
  EXPECT_LT(order.indexOf(first), order.indexOf(second));

  auto* replacement = new QWidget;
  QVReplaceEmbeddedView(&container, second, replacement);
  EXPECT_EQ(second->parentWidget(), nullptr);
  delete second;
  qv_test::processEvents();
  EXPECT_EQ(replacement->geometry(), container.rect());
}

TEST_F(ViewExtensionsTest, ASnapshotOfAHiddenViewKeepsItHidden) {
  QWidget window;
  window.resize(50, 30);
  auto* view = new QWidget(&window);
  view->resize(40, 20);
  view->setAutoFillBackground(true);
  window.show();
  view->hide();
  const QPixmap image = QVSnapshotImage(view);
  EXPECT_EQ(image.size(), QSize(40, 20));
  EXPECT_TRUE(view->isHidden());
}

TEST_F(ViewExtensionsTest, ColoursFromHexKeepTheirComponents) {
  const QColor blue = QVColorWithRGBHex(0x2680FD);
  EXPECT_FLOAT_EQ(blue.redF(), 38.0 / 255);
  EXPECT_FLOAT_EQ(blue.greenF(), 128.0 / 255);
  EXPECT_FLOAT_EQ(blue.blueF(), 253.0 / 255);
  EXPECT_FLOAT_EQ(blue.alphaF(), 1.0);
  const QColor translucent = QVColorWithRGBAHex(0x10203080);
  EXPECT_EQ(translucent.toRgb().red(), 0x10);
  EXPECT_EQ(translucent.toRgb().alpha(), 0x80);
}

TEST_F(ViewExtensionsTest, BlocksQueuedOnTheMainQueueFromAnotherThreadRunOnTheEventLoop) {
  std::atomic<bool> ranOnMain{false};
  std::thread([&] { fnd::Queue::main().async([&] { ranOnMain = fnd::MainLoop::isMainThread(); }); }).join();
  for (int round = 0; round < 50 && !ranOnMain; ++round) QCoreApplication::processEvents();
  EXPECT_TRUE(ranOnMain);
}

}  // namespace
