#include "installer/presentation/afx_installer_extensions.h"

#include <QPainter>
#include <QResizeEvent>

#include "installer/presentation/afx_installer_resources.h"
#include "tools/ui/qv_view_extensions.h"

std::optional<QImage> AFXResizedImageWithSize(const QImage& image, QSize size) {
  if (image.isNull()) return std::nullopt;
  QImage resized(size.expandedTo(QSize(0, 0)), QImage::Format_ARGB32_Premultiplied);
  if (resized.isNull()) return resized;
  resized.fill(Qt::transparent);
  QPainter painter(&resized);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QRect(QPoint(0, 0), size), image);
  return resized;
}

namespace {
QEasingCurve cubicBezier(QPointF first, QPointF second) {
  QEasingCurve curve(QEasingCurve::BezierSpline);
  curve.addCubicBezierSegment(first, second, QPointF(1.0, 1.0));
  return curve;
}
}  // namespace

QEasingCurve AFXDefaultTimingFunction() { return cubicBezier({0.25, 0.1}, {0.25, 1.0}); }

QEasingCurve AFXEaseInEaseOutTimingFunction() { return cubicBezier({0.42, 0.0}, {0.58, 1.0}); }

QImage AFXSnapshotImage(QWidget* view) { return QVSnapshotImage(view).toImage(); }

QLabel* AFXSnapshotViewWithImage(const QImage& image, QWidget* parent) {
  auto* snapshot = new QLabel(parent);
  snapshot->setPixmap(QPixmap::fromImage(image));
  snapshot->setScaledContents(true);
  snapshot->setAttribute(Qt::WA_TransparentForMouseEvents);
  return snapshot;
}

QLabel* AFXSnapshotView(QWidget* view, QWidget* parent) {
  return AFXSnapshotViewWithImage(AFXSnapshotImage(view), parent);
}

AFXImageView::AFXImageView(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setMinimumSize(1, 1);
}

void AFXImageView::setSourceImage(QImage image) {
  source_ = std::move(image);
  fitImage();
}

void AFXImageView::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fitImage();
}

void AFXImageView::fitImage() {
  const auto resized = AFXResizedImageWithSize(source_, size());
  setPixmap(resized ? QPixmap::fromImage(*resized) : QPixmap());
}

void AFXSetNamedImage(AFXImageView* view, std::string_view imageName) {
  if (view) view->setSourceImage(AFXInstallerImageNamed(imageName));
}
