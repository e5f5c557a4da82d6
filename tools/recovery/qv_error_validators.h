#pragma once

// Validators see an error before it is presented and may replace it or
// swallow it. They are registered per error domain and run in the order they
// were added, on the thread that presents the error.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/error.h"
#include "foundation/queue.h"

class QVErrorValidatorInfo {
 public:
  // Answers the error to continue with, or none to drop it.
  using Selector = std::function<std::optional<fnd::Error>(const fnd::Error& error)>;

  // `validator` is held strongly for as long as the info lives; `selector`
  // is the operation to call, usually bound to it.
  QVErrorValidatorInfo(std::shared_ptr<void> validator, Selector selector, std::string errorDomain);

  // A member operation of the validator.
  template <class Validator>
  QVErrorValidatorInfo(std::shared_ptr<Validator> validator,
                       std::optional<fnd::Error> (Validator::*selector)(const fnd::Error&), std::string errorDomain)
      : QVErrorValidatorInfo(validator, bind(validator.get(), selector), std::move(errorDomain)) {}
  template <class Validator>
  QVErrorValidatorInfo(std::shared_ptr<Validator> validator,
                       std::optional<fnd::Error> (Validator::*selector)(const fnd::Error&) const,
                       std::string errorDomain)
      : QVErrorValidatorInfo(validator, bind(validator.get(), selector), std::move(errorDomain)) {}

  const std::shared_ptr<void>& validator() const { return validator_; }
  const std::string& errorDomain() const { return errorDomain_; }

  std::optional<fnd::Error> validateError(const fnd::Error& error) const { return selector_(error); }

 private:
  template <class Validator, class Member>
  static Selector bind(Validator* validator, Member selector) {
    return [validator, selector](const fnd::Error& error) { return (validator->*selector)(error); };
  }

  std::shared_ptr<void> validator_;
  Selector selector_;
  std::string errorDomain_;
};

// The validators of an error presenter. Safe to use from any thread.
class QVErrorValidators {
 public:
  QVErrorValidators();

  void addValidatorInfo(QVErrorValidatorInfo info);
  template <class Validator, class Member>
  void addValidator(std::shared_ptr<Validator> validator, Member selector, std::string errorDomain) {
    addValidatorInfo(QVErrorValidatorInfo(std::move(validator), selector, std::move(errorDomain)));
  }

  // In the order they were added; empty for a domain without validators.
  std::vector<QVErrorValidatorInfo> validatorInfosForErrorDomain(std::string_view errorDomain) const;

  // Passes the error through the validators of its domain, each getting the
  // error the previous one answered. None when one of them dropped it.
  std::optional<fnd::Error> validateError(const fnd::Error& error) const;

 private:
  fnd::Queue queue_;
  std::map<std::string, std::vector<QVErrorValidatorInfo>, std::less<>> arraysOfValidatorInfosByErrorDomain_;
};
