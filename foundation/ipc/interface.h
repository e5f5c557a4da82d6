#pragma once

// The operations of a protocol as they cross the bus: each method's name, how
// many arguments it takes, whether (and with how many arguments) it replies,
// and for every argument and reply argument the classes secure decoding
// admits on receipt. Every argument travels as its own keyed archive (`ay`).
// Built once, then shared read-only by connections and listeners.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/keyed_unarchiver.h"

namespace fnd::ipc {

class Interface {
 public:
  using ClassList = KeyedUnarchiver::ClassList;

  struct Method {
    std::string name;
    std::size_t argumentCount = 0;
    // nullopt for a one-way method, which gets no reply at all.
    std::optional<std::size_t> replyArgumentCount;
    std::vector<ClassList> argumentClasses;
    std::vector<ClassList> replyClasses;

    bool isOneWay() const { return !replyArgumentCount.has_value(); }
  };

  // `busName` is the D-Bus interface name ("com.korvia.RegularServiceInterface").
  static std::shared_ptr<Interface> create(std::string busName);

  // Arguments admit the platform classes until told otherwise. A method
  // name that is no D-Bus member name, or declared twice, is a programming
  // error.
  Interface& addMethod(std::string name, std::size_t argumentCount, std::optional<std::size_t> replyArgumentCount);
  // Replaces the classes of one argument (or reply argument).
  Interface& setClasses(ClassList classes, std::string_view method, std::size_t argumentIndex, bool ofReply);

  const std::string& busName() const { return busName_; }
  const std::vector<Method>& methods() const { return methods_; }
  const Method* methodNamed(std::string_view name) const;
  const ClassList& classes(std::string_view method, std::size_t argumentIndex, bool ofReply) const;

  // Same bus name and the same methods with the same shapes: whitelists may
  // differ.
  bool hasSameShapeAs(const Interface& other) const;

  // "ay" once per argument.
  static std::string signatureForCount(std::size_t count);

 private:
  explicit Interface(std::string busName) : busName_(std::move(busName)) {}
  Method& mutableMethod(std::string_view name);

  std::string busName_;
  std::vector<Method> methods_;
};

}  // namespace fnd::ipc
