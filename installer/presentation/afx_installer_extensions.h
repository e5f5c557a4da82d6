#pragma once

// What the onboarding animations draw with: resized images, the default
// timing curve, and snapshots (image views standing in for a view while it
// animates).

#include <QEasingCurve>
#include <QImage>
#include <QLabel>
#include <QSize>
#include <optional>

// A new image of `size` with the whole image drawn into it with high-quality
// interpolation; none for a null image.
std::optional<QImage> AFXResizedImageWithSize(const QImage& image, QSize size);

// Cubic Bézier (0.25, 0.1), (0.25, 1.0).
QEasingCurve AFXDefaultTimingFunction();
// Cubic Bézier (0.42, 0.0), (0.58, 1.0).
QEasingCurve AFXEaseInEaseOutTimingFunction();

// An image of the view's current appearance (shown for the capture if it is
// hidden; its hidden flag is kept).
QImage AFXSnapshotImage(QWidget* view);
// A new view showing `image` scaled to fill it on both axes.
QLabel* AFXSnapshotViewWithImage(const QImage& image, QWidget* parent);
QLabel* AFXSnapshotView(QWidget* view, QWidget* parent);

// An image view that shows a named picture resized to its own bounds, again
// whenever its size changes.
class AFXImageView : public QLabel {
 public:
  explicit AFXImageView(QWidget* parent = nullptr);
  void setSourceImage(QImage image);
  const QImage& sourceImage() const { return source_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fitImage();
  QImage source_;
};

// Shows the named image in `view`, resized to its bounds; a missing view
// (size zero) shows nothing.
void AFXSetNamedImage(AFXImageView* view, std::string_view imageName);
