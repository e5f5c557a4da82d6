#include "foundation/error.h"

#include <functional>

#include "foundation/array.h"
#include "foundation/check.h"
#include "foundation/format.h"
#include "foundation/hashing.h"
#include "foundation/string.h"

namespace fnd {

namespace {

std::shared_ptr<Dictionary> checkedUserInfo(std::shared_ptr<Dictionary> userInfo) {
  if (!userInfo) return Dictionary::make();
  for (const auto& entry : userInfo->entries()) FND_PARAMETER_ASSERT(entry.first.as<String>() != nullptr);
  return userInfo;
}

}  // namespace

const Class& ErrorObject::staticClass() {
  static const Class& cls = Class::define("NSError", &Object::staticClass(), [] {
    return std::make_shared<ErrorObject>(std::string(NSCocoaErrorDomain), 0, nullptr);
  });
  return cls;
}

ErrorObject::ErrorObject(std::string domain, std::int64_t code, std::shared_ptr<Dictionary> userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(checkedUserInfo(std::move(userInfo))) {}

bool ErrorObject::isEqual(const Object& other) const {
  const auto* e = dynamic_cast<const ErrorObject*>(&other);
  return e != nullptr && e->code_ == code_ && e->domain_ == domain_ && e->userInfo_->isEqual(*userInfo_);
}

std::size_t ErrorObject::hash() const {
  return detail::hashCombine(std::hash<std::string>{}(domain_), std::hash<std::int64_t>{}(code_));
}

std::string ErrorObject::description() const {
  std::string text = StringWithFormat("Error Domain=%@ Code=%lld", domain_, code_);
  Value described = userInfo_->objectForKey(NSLocalizedDescriptionKey);
  if (auto s = described.stringValue()) text += StringWithFormat(" \"%@\"", *s);
  if (userInfo_->count() > 0) text += " UserInfo=" + userInfo_->description();
  return text;
}

Error::Error(std::string_view domain, std::int64_t code, std::shared_ptr<Dictionary> userInfo)
    : object_(std::make_shared<ErrorObject>(std::string(domain), code, std::move(userInfo))) {}

Error::Error(std::string_view domain, std::int64_t code, std::initializer_list<Dictionary::Entry> userInfo)
    : Error(domain, code, Dictionary::make(userInfo)) {}

Error::Error(std::shared_ptr<ErrorObject> object) : object_(std::move(object)) { FND_PARAMETER_ASSERT(object_ != nullptr); }

const std::string& Error::domain() const { return object_->domain(); }
std::int64_t Error::code() const { return object_->code(); }
const std::shared_ptr<Dictionary>& Error::userInfo() const { return object_->userInfo(); }
Value Error::userInfoValue(std::string_view key) const { return object_->userInfo()->objectForKey(key); }

std::string Error::localizedDescription() const {
  if (auto s = userInfoValue(NSLocalizedDescriptionKey).stringValue()) return *s;
  return StringWithFormat("The operation couldn\u2019t be completed. (%@ error %lld.)", domain(), code());
}

std::optional<std::string> Error::localizedFailureReason() const {
  return userInfoValue(NSLocalizedFailureReasonErrorKey).stringValue();
}

std::optional<std::string> Error::localizedRecoverySuggestion() const {
  return userInfoValue(NSLocalizedRecoverySuggestionErrorKey).stringValue();
}

std::vector<std::string> Error::localizedRecoveryOptions() const {
  std::vector<std::string> options;
  if (auto array = userInfoValue(NSLocalizedRecoveryOptionsErrorKey).as<Array>()) {
    for (const auto& option : *array) {
      if (auto s = option.stringValue()) options.push_back(*s);
    }
  }
  return options;
}

Value Error::recoveryAttempter() const { return userInfoValue(NSRecoveryAttempterErrorKey); }

std::optional<Error> Error::underlyingError() const { return userInfoValue(NSUnderlyingErrorKey).errorValue(); }

bool Error::is(std::string_view domain, std::int64_t code) const { return this->code() == code && this->domain() == domain; }

Error Error::errorBySettingUserInfoValue(const Value& value, std::string_view key) const {
  return Error(domain(), code(), userInfo()->dictionaryBySettingObject(value, Value(key)));
}

std::string Error::description() const { return object_->description(); }

bool operator==(const Error& a, const Error& b) { return a.object_->isEqual(*b.object_); }

}  // namespace fnd
