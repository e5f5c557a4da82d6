#pragma once

// Where an anonymous listener can be reached: the unique bus name of the
// process's connection and the listener's object path. It archives (class
// "NSXPCListenerEndpoint"), so a listener's endpoint can travel as the
// argument of a call; decoding checks both parts against the D-Bus rules.

#include <memory>
#include <string>

#include "foundation/object.h"

namespace fnd::ipc {

class Endpoint final : public Object {
 public:
  static const Class& staticClass();
  // Invalid names or paths are a programming error.
  static std::shared_ptr<Endpoint> make(std::string uniqueName, std::string objectPath);

  const std::string& uniqueName() const { return uniqueName_; }
  const std::string& objectPath() const { return objectPath_; }

  static bool isValidUniqueName(const std::string& name);
  static bool isValidObjectPath(const std::string& path);

  const Class& objectClass() const override { return staticClass(); }
  bool isEqual(const Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;
  bool supportsSecureCoding() const override { return true; }
  void encodeWithCoder(KeyedArchiver& coder) const override;
  bool initWithCoder(KeyedUnarchiver& coder) override;

 private:
  Endpoint() = default;
  std::string uniqueName_;
  std::string objectPath_;
};

}  // namespace fnd::ipc
