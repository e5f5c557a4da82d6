#include "tools/ui/qv_view_extensions.h"

#include <QFile>
#include <QGridLayout>
#include <QUiLoader>
#include <map>
#include <mutex>

namespace {

struct ViewClassRegistry {
  std::mutex mutex;
  std::map<std::string, QVViewMaker> makers;
};

ViewClassRegistry& registry() {
  static auto* instance = new ViewClassRegistry;
  return *instance;
}

std::optional<QVViewMaker> makerOf(const std::string& className) {
  auto& classes = registry();
  std::lock_guard lock(classes.mutex);
  const auto found = classes.makers.find(className);
  if (found == classes.makers.end()) return std::nullopt;
  return found->second;
}

// Our own view classes first; Qt's for everything else.
class RegistryUiLoader final : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    if (const auto maker = makerOf(className.toStdString())) {
      QWidget* view = (*maker)(parent);
      view->setObjectName(name);
      return view;
    }
    return QUiLoader::createWidget(className, parent, name);
  }
};

// The container's one grid: every embedded view fills cell (0, 0), so they
// overlap and their stacking order decides which one is seen.
QGridLayout* fillingLayout(QWidget* container) {
  if (auto* grid = qobject_cast<QGridLayout*>(container->layout())) return grid;
  if (container->layout()) delete container->layout();
  auto* grid = new QGridLayout(container);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  return grid;
}

}  // namespace

void QVRegisterViewClass(const std::string& className, QVViewMaker maker) {
  auto& classes = registry();
  std::lock_guard lock(classes.mutex);
  classes.makers[className] = std::move(maker);
}

bool QVIsViewClassRegistered(const std::string& className) { return makerOf(className).has_value(); }

namespace qv_view_extensions_detail {

QWidget* loadTopLevelView(const std::string& path, QWidget* owner) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  RegistryUiLoader loader;
  // A resource may name only what is registered or what Qt itself makes;
  // plugins from the machine take no part.
  loader.clearPluginPaths();
  return loader.load(&file, owner);
}

std::optional<std::string> resourcePath(std::string_view name, const std::shared_ptr<fnd::Bundle>& bundle) {
  const auto& source = bundle ? bundle : fnd::Bundle::mainBundle();
  if (!source) return std::nullopt;
  return source->pathForResource(name, "ui");
}

}  // namespace qv_view_extensions_detail

void QVEmbedView(QWidget* container, QWidget* view) { QVEmbedView(container, view, QVWindowOrder::Above, nullptr); }

void QVEmbedView(QWidget* container, QWidget* view, QVWindowOrder order, QWidget* relativeTo) {
  view->setParent(container);
  if (relativeTo && relativeTo->parentWidget() == container) {
    if (order == QVWindowOrder::Below) {
      view->stackUnder(relativeTo);
    } else {
      view->raise();
      relativeTo->stackUnder(view);
    }
  } else if (order == QVWindowOrder::Below) {
    view->lower();
  } else {
    view->raise();
  }
  QVAddConstraintsForEmbeddedView(container, view);
}

void QVAddConstraintsForEmbeddedView(QWidget* container, QWidget* view) {
  if (view->parentWidget() != container) return;
  view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  QGridLayout* grid = fillingLayout(container);
  if (grid->indexOf(view) < 0) grid->addWidget(view, 0, 0);
}

void QVReplaceEmbeddedView(QWidget* container, QWidget* oldView, QWidget* newView) {
  if (!oldView || oldView->parentWidget() != container) {
    QVEmbedView(container, newView);
    return;
  }
  QVEmbedView(container, newView, QVWindowOrder::Above, oldView);
  fillingLayout(container)->removeWidget(oldView);
  oldView->setParent(nullptr);
}

QPixmap QVSnapshotImage(QWidget* view) {
  const bool wasHidden = view->isHidden();
  if (wasHidden) view->setVisible(true);
  QPixmap image = view->grab();
  if (wasHidden) view->setVisible(false);
  return image;
}
