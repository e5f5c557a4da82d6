#include "tools/qv_value_or_error.h"

#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/hashing.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"

const fnd::Class& QVValueOrError::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("QVValueOrError", &fnd::Object::staticClass(),
                                                    [] { return std::shared_ptr<QVValueOrError>(new QVValueOrError); });
  return cls;
}

std::shared_ptr<QVValueOrError> QVValueOrError::initWithValue(fnd::Value value) {
  FND_PARAMETER_ASSERT_TEXT(!value.isNil(), "nil != value");
  auto result = std::shared_ptr<QVValueOrError>(new QVValueOrError);
  result->value_ = std::move(value);
  return result;
}

std::shared_ptr<QVValueOrError> QVValueOrError::initWithError(fnd::Error error) {
  auto result = std::shared_ptr<QVValueOrError>(new QVValueOrError);
  result->error_ = std::move(error);
  return result;
}

std::shared_ptr<QVValueOrError> QVValueOrError::mutableSelf() const {
  // Results are immutable once made; handing the same instance on is how the
  // combinators keep identity.
  return std::const_pointer_cast<QVValueOrError>(std::static_pointer_cast<const QVValueOrError>(shared_from_this()));
}

std::shared_ptr<QVValueOrError> QVValueOrError::liftValue(
    const std::function<fnd::Value(const fnd::Value&)>& map) const {
  if (value_.isNil()) return mutableSelf();
  return initWithValue(map(value_));
}

std::shared_ptr<QVValueOrError> QVValueOrError::liftError(
    const std::function<fnd::Error(const fnd::Error&)>& map) const {
  if (!error_) return mutableSelf();
  return initWithError(map(*error_));
}

void QVValueOrError::onValue(const std::function<void(const fnd::Value&)>& handler) const {
  if (!value_.isNil()) handler(value_);
}

void QVValueOrError::onError(const std::function<void(const fnd::Error&)>& handler) const {
  if (error_) handler(*error_);
}

bool QVValueOrError::isEqual(const fnd::Object& other) const {
  const auto* that = dynamic_cast<const QVValueOrError*>(&other);
  return that && value_ == that->value_ && error_ == that->error_;
}

std::size_t QVValueOrError::hash() const {
  return value_.hash() ^ (error_ ? fnd::Value(*error_).hash() : 0);
}

std::string QVValueOrError::description() const {
  if (error_) return fnd::StringWithFormat("<QVValueOrError error: %@>", error_->description());
  return fnd::StringWithFormat("<QVValueOrError value: %@>", value_.description());
}

void QVValueOrError::encodeWithCoder(fnd::KeyedArchiver& coder) const {
  coder.encodeObject(value_, "value");
  coder.encodeObject(error_ ? fnd::Value(*error_) : fnd::Value(), "error");
}

bool QVValueOrError::initWithCoder(fnd::KeyedUnarchiver& coder) {
  // The value may be of any class the whole decode allows.
  value_ = coder.decodeObject("value");
  error_ = coder.decodeObjectOfClass(fnd::ErrorObject::staticClass(), "error").errorValue();
  return !coder.hasFailed();
}
