#pragma once

// Wraps an object as a strong, weak or unowned reference, so that containers
// can hold objects in the way their owner needs. Holders compare equal when
// they are of the same kind and hold the same object; the weak and unowned
// kinds keep comparing by the object's address after it has gone, and every
// kind hashes by that address.

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

#include "foundation/check.h"
#include "foundation/object.h"

class QVStrongObjectHolder;
class QVWeakObjectHolder;
class QVUnownedObjectHolder;

class QVObjectHolder : public fnd::Object {
 public:
  static const fnd::Class& staticClass();

  // `object` is required.
  template <class T>
  static std::shared_ptr<QVStrongObjectHolder> strongHolderOfObject(const std::shared_ptr<T>& object);
  template <class T>
  static std::shared_ptr<QVWeakObjectHolder> weakHolderForObject(const std::shared_ptr<T>& object);
  template <class T>
  static std::shared_ptr<QVUnownedObjectHolder> unownedHolderForObject(T* object);

  // The address of the most derived object.
  const void* address() const { return address_; }

  // The object while it lives; null for an unowned holder, which cannot tell.
  virtual std::shared_ptr<void> object() const = 0;
  // `T` must be the type the holder was made with.
  template <class T>
  std::shared_ptr<T> objectAs() const {
    return std::static_pointer_cast<T>(object());
  }

  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 protected:
  explicit QVObjectHolder(const void* address) : address_(address) {}

  template <class T>
  static const void* addressOf(T* object) {
    if constexpr (std::is_polymorphic_v<T>) {
      return dynamic_cast<const void*>(object);
    } else {
      return object;
    }
  }

 private:
  const void* address_;
};

class QVStrongObjectHolder final : public QVObjectHolder {
 public:
  static const fnd::Class& staticClass();

  QVStrongObjectHolder(std::shared_ptr<void> object, const void* address)
      : QVObjectHolder(address), object_(std::move(object)) {}

  std::shared_ptr<void> object() const override { return object_; }
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  std::shared_ptr<void> object_;
};

class QVWeakObjectHolder final : public QVObjectHolder {
 public:
  static const fnd::Class& staticClass();

  QVWeakObjectHolder(std::weak_ptr<void> object, const void* address)
      : QVObjectHolder(address), object_(std::move(object)) {}

  std::shared_ptr<void> object() const override { return object_.lock(); }
  // The address the holder was made with, valid or not.
  const void* unretainedObject() const { return address(); }
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  std::weak_ptr<void> object_;
};

class QVUnownedObjectHolder final : public QVObjectHolder {
 public:
  static const fnd::Class& staticClass();

  QVUnownedObjectHolder(void* object, const void* address) : QVObjectHolder(address), object_(object) {}

  std::shared_ptr<void> object() const override { return nullptr; }
  // The pointer the holder was made with; the caller knows whether it lives.
  template <class T>
  T* unownedObjectAs() const {
    return static_cast<T*>(object_);
  }
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  void* object_;
};

template <class T>
std::shared_ptr<QVStrongObjectHolder> QVObjectHolder::strongHolderOfObject(const std::shared_ptr<T>& object) {
  FND_PARAMETER_ASSERT_TEXT(object != nullptr, "object");
  return std::make_shared<QVStrongObjectHolder>(std::const_pointer_cast<std::remove_const_t<T>>(object),
                                                addressOf(object.get()));
}

template <class T>
std::shared_ptr<QVWeakObjectHolder> QVObjectHolder::weakHolderForObject(const std::shared_ptr<T>& object) {
  FND_PARAMETER_ASSERT_TEXT(object != nullptr, "object");
  std::shared_ptr<void> erased = std::const_pointer_cast<std::remove_const_t<T>>(object);
  return std::make_shared<QVWeakObjectHolder>(erased, addressOf(object.get()));
}

template <class T>
std::shared_ptr<QVUnownedObjectHolder> QVObjectHolder::unownedHolderForObject(T* object) {
  FND_PARAMETER_ASSERT_TEXT(object != nullptr, "object");
  return std::make_shared<QVUnownedObjectHolder>(const_cast<std::remove_const_t<T>*>(object), addressOf(object));
}
