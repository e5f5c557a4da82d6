#pragma once

// A window whose content runs under a transparent title bar.
//
// Qt cannot lay content under a native title bar, so the window is
// frameless and draws its own title bar: its content fills the whole
// window; a transparent 18-point strip across the top (the empty title-bar
// accessory) takes the title area's clicks so that dragging it moves the
// window; the three window buttons sit above everything at 13 points from
// the left and 7 from the top. Entering full screen removes the strip (the
// content gets the whole screen), leaving full screen brings it back. The
// window's background moves the window as well: a press no content view
// takes starts a move. The title is kept for the window list but not drawn.

#include <QFlags>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <optional>

class QAbstractButton;

class AFXFullSizeContentWindow : public QWidget {
 public:
  enum StyleMaskFlag {
    StyleMaskBorderless = 0,
    StyleMaskTitled = 1 << 0,
    StyleMaskClosable = 1 << 1,
    StyleMaskMiniaturizable = 1 << 2,
    StyleMaskResizable = 1 << 3,
    StyleMaskFullSizeContentView = 1 << 15,
  };
  using StyleMask = QFlags<StyleMaskFlag>;

  enum class WindowButton { Close, Miniaturize, Zoom };

  explicit AFXFullSizeContentWindow(QWidget* parent = nullptr);

  static double titlebarHeight() { return 18.0; }
  // The window buttons' horizontal inset and vertical offset.
  static QPointF titlebarButtonsOffset() { return QPointF(13.0, 7.0); }

  StyleMask styleMask() const { return styleMask_; }
  void setStyleMask(StyleMask mask);
  // All bits of `mask` are set.
  bool hasStyleMask(StyleMask mask) const { return (styleMask_ & mask) == mask; }

  // The zoom button: with Option (Alt) held and not in full screen, zoom
  // (maximise or restore); otherwise enter or leave full screen.
  void zoomButtonAction(bool optionHeld);

  QAbstractButton* standardWindowButton(WindowButton button) const;
  // The empty title-bar accessory, null while removed (in full screen).
  QWidget* emptyTitleBarAccessoryView() const;
  // The part of the window no title bar covers.
  QRect contentLayoutRect() const;

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void awakeFromNib();
  void addTitleBarAccessory();
  void removeTitleBarAccessory();
  void layoutTitlebar();
  void updateWindowButtons();
  Qt::Edges resizeEdgesAt(const QPoint& position) const;

  StyleMask styleMask_;
  QPointer<QWidget> accessory_;
  QPointer<QAbstractButton> closeButton_;
  QPointer<QAbstractButton> miniaturizeButton_;
  QPointer<QAbstractButton> zoomButton_;
  // Where a manual move started, when the platform cannot move the window
  // itself.
  std::optional<QPoint> dragOffset_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(AFXFullSizeContentWindow::StyleMask)
