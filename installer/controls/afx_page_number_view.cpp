#include "installer/controls/afx_page_number_view.h"

#include <QMouseEvent>

#include "installer/controls/afx_layer_view.h"
#include "tools/ui/qv_color_extensions.h"
#include "tools/ui/qv_view_extensions.h"

AFXPageNumberView::AFXPageNumberView(QWidget* parent) : QWidget(parent) {}

QColor AFXPageNumberView::highlightColor() { return QVColorWithSRGBHex(0xF3F3F3); }
QColor AFXPageNumberView::selectedTextColor() { return QVColorWithSRGBHex(0x2680FD); }
QColor AFXPageNumberView::unselectedTextColor() { return QVColorWithSRGBHex(0x000000); }

QLabel* AFXPageNumberView::pageNumberLabel() const {
  return QVOutlet<QLabel>(this, "pageNumberLabel");
}

AFXLayerView* AFXPageNumberView::selectedBackgroundView() const {
  return QVOutlet<AFXLayerView>(this, "selectedBackgroundView");
}

void AFXPageNumberView::setPageNumber(std::int64_t pageNumber) {
  pageNumber_ = pageNumber;
  updatePageNumberLabel();
}

void AFXPageNumberView::setSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  updateSelectedState();
}

void AFXPageNumberView::viewDidMoveToSuperview() {
  if (AFXLayerView* highlight = selectedBackgroundView()) highlight->setBackgroundColor(highlightColor());
  layout();
  updateUI();
}

void AFXPageNumberView::updateUI() {
  updatePageNumberLabel();
  updateSelectedState();
}

void AFXPageNumberView::updatePageNumberLabel() {
  if (QLabel* label = pageNumberLabel()) label->setText(QString::number(pageNumber_));
}

void AFXPageNumberView::updateSelectedState() {
  if (QLabel* label = pageNumberLabel()) {
    QPalette palette = label->palette();
    // Every colour group: a disabled row keeps its look, it only stops
    // taking clicks.
    palette.setColor(QPalette::WindowText, selected_ ? selectedTextColor() : unselectedTextColor());
    label->setPalette(palette);
  }
  if (AFXLayerView* highlight = selectedBackgroundView()) highlight->setVisible(selected_);
}

void AFXPageNumberView::layout() {
  if (AFXLayerView* highlight = selectedBackgroundView()) highlight->setCornerRadius(height() / 2.0);
}

bool AFXPageNumberView::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  if (event->type() == QEvent::ParentChange && parentWidget()) viewDidMoveToSuperview();
  return handled;
}

void AFXPageNumberView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layout();
}

void AFXPageNumberView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  // The delegate may rebuild the row; nothing of this view is used after.
  if (const auto told = delegate()) told->pageNumberViewWasSelected(this);
}
