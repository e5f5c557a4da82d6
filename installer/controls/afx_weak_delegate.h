#pragma once

// A delegate held weakly: either a shared object (std::weak_ptr) or a QObject
// (QPointer), so a view never keeps its delegate alive and never calls one
// that is gone.

#include <QObject>
#include <QPointer>
#include <memory>

#include "foundation/check.h"

template <class Delegate>
class AFXWeakDelegate {
 public:
  void reset() { *this = AFXWeakDelegate(); }
  void reset(std::weak_ptr<Delegate> delegate) {
    reset();
    shared_ = std::move(delegate);
  }
  // A plain pointer is only weak when the delegate is a QObject.
  void reset(Delegate* delegate) {
    reset();
    if (!delegate) return;
    object_ = dynamic_cast<QObject*>(delegate);
    FND_PARAMETER_ASSERT_TEXT(object_ != nullptr, "delegate is a QObject or a std::weak_ptr");
    raw_ = delegate;
  }

  // The delegate while it lives. A shared delegate is kept alive for the
  // call; a QObject one is not owned (an aliasing pointer without owner).
  std::shared_ptr<Delegate> lock() const {
    if (auto shared = shared_.lock()) return shared;
    if (object_) return std::shared_ptr<Delegate>(std::shared_ptr<Delegate>(), raw_);
    return nullptr;
  }

 private:
  std::weak_ptr<Delegate> shared_;
  QPointer<QObject> object_;
  Delegate* raw_ = nullptr;
};
