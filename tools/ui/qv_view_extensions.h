#pragma once

// Views loaded from interface resources named after their class, and views
// embedded so that they fill their container.
//
// Interface resources are Qt Designer files ("<name>.ui") in a bundle's
// resources. A resource names our own view classes as custom widgets; the
// loader makes them through the registry below, so every class a resource may
// name is registered once (QVRegisterViewClass) before it is loaded. Outlets
// are the loaded children, found by their object names.

#include <QBoxLayout>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/bundle.h"

using QVViewMaker = std::function<QWidget*(QWidget* parent)>;

// Registers (or replaces) the maker of a view class a resource may name.
void QVRegisterViewClass(const std::string& className, QVViewMaker maker);
template <class View>
void QVRegisterViewClass(const std::string& className) {
  QVRegisterViewClass(className, [](QWidget* parent) -> QWidget* { return new View(parent); });
}
bool QVIsViewClassRegistered(const std::string& className);

namespace qv_view_extensions_detail {
// The resource's top-level view, parented to `owner`; null when the file is
// missing or not a resource.
QWidget* loadTopLevelView(const std::string& path, QWidget* owner);
std::optional<std::string> resourcePath(std::string_view name, const std::shared_ptr<fnd::Bundle>& bundle);
}  // namespace qv_view_extensions_detail

// The top-level view of the resource `<name>.ui` (the bundle's resources; the
// main bundle when none) if it is a `View`; none when loading fails or the
// resource holds no such view. The view becomes a child of `owner`.
template <class View>
View* QVMakeFromNibNamed(std::string_view name, const std::shared_ptr<fnd::Bundle>& bundle, QWidget* owner) {
  const auto path = qv_view_extensions_detail::resourcePath(name, bundle);
  if (!path) return nullptr;
  return QVMakeFromNib<View>(*path, owner);
}

// The same for a resource file already located.
template <class View>
View* QVMakeFromNib(const std::string& path, QWidget* owner) {
  QWidget* top = qv_view_extensions_detail::loadTopLevelView(path, owner);
  if (auto* view = dynamic_cast<View*>(top)) return view;
  delete top;
  return nullptr;
}

// The outlet `name` of a loaded view: the descendant of that object name if
// it is a `View`, else null.
template <class View>
View* QVOutlet(const QWidget* owner, const char* name) {
  return owner ? dynamic_cast<View*>(owner->findChild<QWidget*>(name)) : nullptr;
}

enum class QVWindowOrder { Above, Below };

// Adds `view` to `container` above its other subviews and pins it to all
// four edges.
void QVEmbedView(QWidget* container, QWidget* view);
// The same, above or below `relativeTo` (all other subviews when none).
void QVEmbedView(QWidget* container, QWidget* view, QVWindowOrder order, QWidget* relativeTo);
// Pins a direct subview to the container's four edges.
void QVAddConstraintsForEmbeddedView(QWidget* container, QWidget* view);
// Replaces a direct subview in place (same stacking), pinned; a view that is
// not a direct subview is simply embedded.
void QVReplaceEmbeddedView(QWidget* container, QWidget* oldView, QWidget* newView);

// An image of the view's current appearance, rendered even while it is
// hidden; its former hidden flag is kept.
QPixmap QVSnapshotImage(QWidget* view);
