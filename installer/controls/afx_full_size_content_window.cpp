#include "installer/controls/afx_full_size_content_window.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "tools/ui/qv_color_extensions.h"

namespace {

constexpr int kButtonDiameter = 12;
constexpr int kButtonPitch = 20;
constexpr int kResizeMargin = 4;

// One of the round window buttons of the title bar.
class TitlebarButton final : public QAbstractButton {
 public:
  TitlebarButton(QColor color, const QString& name, QWidget* parent) : QAbstractButton(parent), color_(color) {
    setObjectName(name);
    setAccessibleName(name);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(kButtonDiameter, kButtonDiameter);
  }

  // The keys held when the click ended, read by the click's action.
  Qt::KeyboardModifiers clickModifiers() const { return clickModifiers_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    clickModifiers_ = event->modifiers();
    QAbstractButton::mouseReleaseEvent(event);
  }

  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor fill = isEnabled() ? color_ : QVColorWithSRGBHex(0xDDDDDD);
    if (isDown()) fill = fill.darker(120);
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  }

 private:
  QColor color_;
  Qt::KeyboardModifiers clickModifiers_;
};

// Takes the title area's presses (they move the window) and draws nothing.
class TitlebarAccessory final : public QWidget {
 public:
  explicit TitlebarAccessory(QWidget* parent) : QWidget(parent) { setObjectName("titlebarAccessory"); }
};

}  // namespace

AFXFullSizeContentWindow::AFXFullSizeContentWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  awakeFromNib();
}

void AFXFullSizeContentWindow::awakeFromNib() {
  closeButton_ = new TitlebarButton(QVColorWithSRGBHex(0xFF5F57), "closeButton", this);
  miniaturizeButton_ = new TitlebarButton(QVColorWithSRGBHex(0xFEBC2E), "miniaturizeButton", this);
  auto* zoom = new TitlebarButton(QVColorWithSRGBHex(0x28C840), "zoomButton", this);
  zoomButton_ = zoom;
  connect(closeButton_, &QAbstractButton::clicked, this, [this] { close(); });
  connect(miniaturizeButton_, &QAbstractButton::clicked, this, [this] { showMinimized(); });
  connect(zoom, &QAbstractButton::clicked, this,
          [this, zoom] { zoomButtonAction(zoom->clickModifiers().testFlag(Qt::AltModifier)); });
  accessory_ = new TitlebarAccessory(this);
  setStyleMask(StyleMaskTitled | StyleMaskClosable | StyleMaskMiniaturizable | StyleMaskResizable |
               StyleMaskFullSizeContentView);
  layoutTitlebar();
}

void AFXFullSizeContentWindow::setStyleMask(StyleMask mask) {
  styleMask_ = mask;
  updateWindowButtons();
}

void AFXFullSizeContentWindow::updateWindowButtons() {
  const bool titled = hasStyleMask(StyleMaskTitled);
  for (QAbstractButton* button : {closeButton_.data(), miniaturizeButton_.data(), zoomButton_.data()}) {
    if (button) button->setVisible(titled);
  }
  if (closeButton_) closeButton_->setEnabled(hasStyleMask(StyleMaskClosable));
  if (miniaturizeButton_) miniaturizeButton_->setEnabled(hasStyleMask(StyleMaskMiniaturizable));
  if (zoomButton_) zoomButton_->setEnabled(hasStyleMask(StyleMaskResizable));
}

void AFXFullSizeContentWindow::zoomButtonAction(bool optionHeld) {
  if (optionHeld && !isFullScreen()) {
    setWindowState(windowState() ^ Qt::WindowMaximized);
  } else {
    // Leaving full screen returns to the zoomed or normal frame it left.
    setWindowState(windowState() ^ Qt::WindowFullScreen);
  }
}

QAbstractButton* AFXFullSizeContentWindow::standardWindowButton(WindowButton button) const {
  switch (button) {
    case WindowButton::Close:
      return closeButton_;
    case WindowButton::Miniaturize:
      return miniaturizeButton_;
    case WindowButton::Zoom:
      return zoomButton_;
  }
  return nullptr;
}

QWidget* AFXFullSizeContentWindow::emptyTitleBarAccessoryView() const {
  return accessory_ && !accessory_->isHidden() ? accessory_.data() : nullptr;
}

QRect AFXFullSizeContentWindow::contentLayoutRect() const {
  const int top = emptyTitleBarAccessoryView() ? static_cast<int>(titlebarHeight()) : 0;
  return rect().adjusted(0, top, 0, 0);
}

void AFXFullSizeContentWindow::addTitleBarAccessory() {
  if (!accessory_ || !accessory_->isHidden()) return;
  accessory_->show();
  layoutTitlebar();
}

void AFXFullSizeContentWindow::removeTitleBarAccessory() {
  if (accessory_ && !accessory_->isHidden()) accessory_->hide();
}

void AFXFullSizeContentWindow::layoutTitlebar() {
  // Content views come and go through layouts and resources; the title bar
  // stays above them.
  if (accessory_) {
    accessory_->setGeometry(0, 0, width(), static_cast<int>(titlebarHeight()));
    accessory_->raise();
  }
  const QPointF offset = titlebarButtonsOffset();
  int x = static_cast<int>(offset.x());
  for (QAbstractButton* button : {closeButton_.data(), miniaturizeButton_.data(), zoomButton_.data()}) {
    if (!button) continue;
    button->move(x, static_cast<int>(offset.y()));
    button->raise();
    x += kButtonPitch;
  }
}

bool AFXFullSizeContentWindow::event(QEvent* event) {
  if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) layoutTitlebar();
  return QWidget::event(event);
}

void AFXFullSizeContentWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    if (isFullScreen()) {
      removeTitleBarAccessory();
    } else {
      addTitleBarAccessory();
    }
  }
  QWidget::changeEvent(event);
}

void AFXFullSizeContentWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutTitlebar();
}

Qt::Edges AFXFullSizeContentWindow::resizeEdgesAt(const QPoint& position) const {
  Qt::Edges edges;
  if (!hasStyleMask(StyleMaskResizable) || isFullScreen() || isMaximized()) return edges;
  if (position.x() < kResizeMargin) edges |= Qt::LeftEdge;
  if (position.x() >= width() - kResizeMargin) edges |= Qt::RightEdge;
  if (position.y() < kResizeMargin) edges |= Qt::TopEdge;
  if (position.y() >= height() - kResizeMargin) edges |= Qt::BottomEdge;
  return edges;
}

void AFXFullSizeContentWindow::mousePressEvent(QMouseEvent* event) {
  // Presses no content view took reach the window: its background moves it.
  if (event->button() != Qt::LeftButton || isFullScreen()) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  QWindow* handle = windowHandle();
  const Qt::Edges edges = resizeEdgesAt(event->position().toPoint());
  if (edges && handle && handle->startSystemResize(edges)) return;
  if (handle && handle->startSystemMove()) return;
  // The platform cannot move it (offscreen, some compositors): follow the
  // pointer.
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void AFXFullSizeContentWindow::mouseMoveEvent(QMouseEvent* event) {
  if (dragOffset_ && event->buttons().testFlag(Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - *dragOffset_);
    event->accept();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void AFXFullSizeContentWindow::mouseReleaseEvent(QMouseEvent* event) {
  dragOffset_.reset();
  QWidget::mouseReleaseEvent(event);
}
