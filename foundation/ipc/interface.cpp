#include "foundation/ipc/interface.h"

#include "foundation/check.h"

namespace fnd::ipc {
namespace {

bool isMemberName(std::string_view name) {
  if (name.empty() || name.size() > 255 || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<Interface> Interface::create(std::string busName) {
  FND_PARAMETER_ASSERT(!busName.empty());
  return std::shared_ptr<Interface>(new Interface(std::move(busName)));
}

Interface& Interface::addMethod(std::string name, std::size_t argumentCount,
                                std::optional<std::size_t> replyArgumentCount) {
  FND_PARAMETER_ASSERT(isMemberName(name));
  FND_PARAMETER_ASSERT(methodNamed(name) == nullptr);
  Method method;
  method.name = std::move(name);
  method.argumentCount = argumentCount;
  method.replyArgumentCount = replyArgumentCount;
  method.argumentClasses.assign(argumentCount, KeyedUnarchiver::platformClasses());
  method.replyClasses.assign(replyArgumentCount.value_or(0), KeyedUnarchiver::platformClasses());
  methods_.push_back(std::move(method));
  return *this;
}

Interface& Interface::setClasses(ClassList classes, std::string_view method, std::size_t argumentIndex, bool ofReply) {
  Method& target = mutableMethod(method);
  auto& lists = ofReply ? target.replyClasses : target.argumentClasses;
  FND_PARAMETER_ASSERT(argumentIndex < lists.size());
  lists[argumentIndex] = std::move(classes);
  return *this;
}

const Interface::Method* Interface::methodNamed(std::string_view name) const {
  for (const auto& method : methods_) {
    if (method.name == name) return &method;
  }
  return nullptr;
}

Interface::Method& Interface::mutableMethod(std::string_view name) {
  for (auto& method : methods_) {
    if (method.name == name) return method;
  }
  FND_PARAMETER_ASSERT_TEXT(false, "method declared by the interface");
  FND_NOT_REACHED();
}

const Interface::ClassList& Interface::classes(std::string_view method, std::size_t argumentIndex,
                                                bool ofReply) const {
  const Method* found = methodNamed(method);
  FND_PARAMETER_ASSERT(found != nullptr);
  const auto& lists = ofReply ? found->replyClasses : found->argumentClasses;
  FND_PARAMETER_ASSERT(argumentIndex < lists.size());
  return lists[argumentIndex];
}

bool Interface::hasSameShapeAs(const Interface& other) const {
  if (busName_ != other.busName_ || methods_.size() != other.methods_.size()) return false;
  for (const auto& method : methods_) {
    const Method* twin = other.methodNamed(method.name);
    if (twin == nullptr || twin->argumentCount != method.argumentCount ||
        twin->replyArgumentCount != method.replyArgumentCount) {
      return false;
    }
  }
  return true;
}

std::string Interface::signatureForCount(std::size_t count) {
  std::string signature;
  for (std::size_t i = 0; i < count; ++i) signature += "ay";
  return signature;
}

}  // namespace fnd::ipc
