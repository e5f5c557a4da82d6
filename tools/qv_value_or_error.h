#pragma once

// The one result type of asynchronous operations: either the operation's
// value or the error that stopped it. It archives under the keys "value" and
// "error", which interprocess replies rely on, and a copy is the instance
// itself.

#include <functional>
#include <memory>
#include <optional>

#include "foundation/error.h"
#include "foundation/object.h"
#include "foundation/value.h"

class QVValueOrError final : public fnd::Object {
 public:
  static const fnd::Class& staticClass();

  // A missing value or error is a programming error.
  static std::shared_ptr<QVValueOrError> initWithValue(fnd::Value value);
  static std::shared_ptr<QVValueOrError> initWithError(fnd::Error error);

  const fnd::Value& value() const { return value_; }
  const std::optional<fnd::Error>& error() const { return error_; }

  // Map the value (or the error) into a new result; the other case returns
  // this very instance without calling the function.
  std::shared_ptr<QVValueOrError> liftValue(const std::function<fnd::Value(const fnd::Value&)>& map) const;
  std::shared_ptr<QVValueOrError> liftError(const std::function<fnd::Error(const fnd::Error&)>& map) const;
  void onValue(const std::function<void(const fnd::Value&)>& handler) const;
  void onError(const std::function<void(const fnd::Error&)>& handler) const;

  std::shared_ptr<const QVValueOrError> copy() const { return std::static_pointer_cast<const QVValueOrError>(shared_from_this()); }

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

  bool supportsSecureCoding() const override { return true; }
  void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;

 private:
  QVValueOrError() = default;
  std::shared_ptr<QVValueOrError> mutableSelf() const;

  // Set by the makers and the decoder only, before the instance is shared.
  fnd::Value value_;
  std::optional<fnd::Error> error_;
};
