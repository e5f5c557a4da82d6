#include "foundation/ipc/endpoint.h"

#include "foundation/check.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/string.h"

namespace fnd::ipc {
namespace {

constexpr const char* kUniqueNameKey = "uniqueName";
constexpr const char* kObjectPathKey = "objectPath";

bool isElementCharacter(char c, bool allowDash) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         (allowDash && c == '-');
}

}  // namespace

const Class& Endpoint::staticClass() {
  static const Class& cls = Class::define("NSXPCListenerEndpoint", &Object::staticClass(),
                                          [] { return std::shared_ptr<Endpoint>(new Endpoint); });
  return cls;
}

std::shared_ptr<Endpoint> Endpoint::make(std::string uniqueName, std::string objectPath) {
  FND_PARAMETER_ASSERT(isValidUniqueName(uniqueName));
  FND_PARAMETER_ASSERT(isValidObjectPath(objectPath));
  (void)staticClass();
  auto endpoint = std::shared_ptr<Endpoint>(new Endpoint);
  endpoint->uniqueName_ = std::move(uniqueName);
  endpoint->objectPath_ = std::move(objectPath);
  return endpoint;
}

bool Endpoint::isValidUniqueName(const std::string& name) {
  // ":" then at least two dot-separated elements.
  if (name.size() < 4 || name.size() > 255 || name[0] != ':') return false;
  std::size_t elements = 1;
  std::size_t run = 0;
  for (std::size_t i = 1; i < name.size(); ++i) {
    if (name[i] == '.') {
      if (run == 0) return false;
      ++elements;
      run = 0;
    } else if (isElementCharacter(name[i], true)) {
      ++run;
    } else {
      return false;
    }
  }
  return run > 0 && elements >= 2;
}

bool Endpoint::isValidObjectPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  if (path.size() == 1) return true;
  if (path.back() == '/') return false;
  bool previousSlash = true;
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '/') {
      if (previousSlash) return false;
      previousSlash = true;
    } else if (isElementCharacter(path[i], false)) {
      previousSlash = false;
    } else {
      return false;
    }
  }
  return true;
}

bool Endpoint::isEqual(const Object& other) const {
  const auto* that = dynamic_cast<const Endpoint*>(&other);
  return that != nullptr && that->uniqueName_ == uniqueName_ && that->objectPath_ == objectPath_;
}

std::size_t Endpoint::hash() const { return std::hash<std::string>{}(uniqueName_) ^ std::hash<std::string>{}(objectPath_); }

std::string Endpoint::description() const { return "<NSXPCListenerEndpoint " + uniqueName_ + " " + objectPath_ + ">"; }

void Endpoint::encodeWithCoder(KeyedArchiver& coder) const {
  coder.encodeObject(Value(uniqueName_), kUniqueNameKey);
  coder.encodeObject(Value(objectPath_), kObjectPathKey);
}

bool Endpoint::initWithCoder(KeyedUnarchiver& coder) {
  auto name = coder.decodeObjectOfClass(String::staticClass(), kUniqueNameKey).stringValue();
  auto path = coder.decodeObjectOfClass(String::staticClass(), kObjectPathKey).stringValue();
  if (coder.hasFailed()) return false;
  if (!name || !path || !isValidUniqueName(*name) || !isValidObjectPath(*path)) {
    coder.failWithError(KeyedUnarchiver::corruptArchiveError("The endpoint names no reachable listener."));
    return false;
  }
  uniqueName_ = std::move(*name);
  objectPath_ = std::move(*path);
  return true;
}

}  // namespace fnd::ipc
