#pragma once

// One number of the page selector: the number, and a circular highlight
// behind it while it is the current page. Made from the interface resource
// "AFXPageNumberView", whose outlets are the label "pageNumberLabel" and the
// highlight "selectedBackgroundView".

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "installer/controls/afx_page_number_view_delegate.h"
#include "installer/controls/afx_weak_delegate.h"

class AFXLayerView;

class AFXPageNumberView : public QWidget {
 public:
  explicit AFXPageNumberView(QWidget* parent = nullptr);

  std::int64_t pageNumber() const { return pageNumber_; }
  void setPageNumber(std::int64_t pageNumber);
  bool isSelected() const { return selected_; }
  void setSelected(bool selected);

  // Held weakly; a plain pointer must be a QObject.
  std::shared_ptr<AFXPageNumberViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(AFXPageNumberViewDelegate* delegate) { delegate_.reset(delegate); }
  void setDelegate(std::weak_ptr<AFXPageNumberViewDelegate> delegate) { delegate_.reset(std::move(delegate)); }

  // Outlets: the resource's children of these names (null when missing).
  QLabel* pageNumberLabel() const;
  AFXLayerView* selectedBackgroundView() const;

  static QColor highlightColor();
  static QColor selectedTextColor();
  static QColor unselectedTextColor();

  void viewDidMoveToSuperview();
  void updateUI();
  void updatePageNumberLabel();
  void updateSelectedState();

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void layout();

  std::int64_t pageNumber_ = 0;
  bool selected_ = false;
  AFXWeakDelegate<AFXPageNumberViewDelegate> delegate_;
};
