#pragma once

// Errors are values: a domain, a signed 64-bit code and string-keyed user
// information. `Error` is a cheap handle to an immutable "NSError" object, so
// errors can travel inside other values (underlying errors, archives).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/value.h"

namespace fnd {

inline constexpr std::string_view NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr std::string_view NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr std::string_view NSPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr std::string_view NSOSStatusErrorDomain = "NSOSStatusErrorDomain";

inline constexpr std::string_view NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr std::string_view NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr std::string_view NSLocalizedRecoverySuggestionErrorKey = "NSLocalizedRecoverySuggestion";
inline constexpr std::string_view NSLocalizedRecoveryOptionsErrorKey = "NSLocalizedRecoveryOptions";
inline constexpr std::string_view NSRecoveryAttempterErrorKey = "NSRecoveryAttempter";
inline constexpr std::string_view NSUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr std::string_view NSFilePathErrorKey = "NSFilePath";
inline constexpr std::string_view NSURLErrorKey = "NSURL";
inline constexpr std::string_view NSDebugDescriptionErrorKey = "NSDebugDescription";

class ErrorObject;

class Error {
 public:
  // User information keys must be strings; anything else is a programming error.
  Error(std::string_view domain, std::int64_t code, std::shared_ptr<Dictionary> userInfo = nullptr);
  Error(std::string_view domain, std::int64_t code, std::initializer_list<Dictionary::Entry> userInfo);
  explicit Error(std::shared_ptr<ErrorObject> object);

  const std::string& domain() const;
  std::int64_t code() const;
  const std::shared_ptr<Dictionary>& userInfo() const;
  Value userInfoValue(std::string_view key) const;

  // The user information's description, or the platform's generic sentence
  // naming domain and code.
  std::string localizedDescription() const;
  std::optional<std::string> localizedFailureReason() const;
  std::optional<std::string> localizedRecoverySuggestion() const;
  std::vector<std::string> localizedRecoveryOptions() const;
  Value recoveryAttempter() const;
  std::optional<Error> underlyingError() const;

  bool is(std::string_view domain, std::int64_t code) const;

  // A copy with one user-information entry set (or removed for nil).
  Error errorBySettingUserInfoValue(const Value& value, std::string_view key) const;

  const std::shared_ptr<ErrorObject>& object() const { return object_; }
  std::string description() const;

  friend bool operator==(const Error& a, const Error& b);

 private:
  std::shared_ptr<ErrorObject> object_;
};

// The "NSError" object behind `Error`.
class ErrorObject final : public Object {
 public:
  static const Class& staticClass();

  ErrorObject(std::string domain, std::int64_t code, std::shared_ptr<Dictionary> userInfo);

  const std::string& domain() const { return domain_; }
  std::int64_t code() const { return code_; }
  const std::shared_ptr<Dictionary>& userInfo() const { return userInfo_; }

  const Class& objectClass() const override { return staticClass(); }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  // "Error Domain=D Code=C "description" UserInfo={...}".
  std::string description() const override;

 private:
  std::string domain_;
  std::int64_t code_;
  std::shared_ptr<Dictionary> userInfo_;
};

}  // namespace fnd
