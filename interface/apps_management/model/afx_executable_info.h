#pragma once

// A program to run: its path and arguments.

#include <memory>
#include <string>

#include "foundation/array.h"
#include "interface/model/afx_base_model_object.h"

class AFXExecutableInfo final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A null argument list is stored as an empty one.
  static std::shared_ptr<AFXExecutableInfo> initWithPath(std::string path, std::shared_ptr<fnd::Array> arguments);

  const std::optional<std::string>& path() const { return path_; }
  const std::shared_ptr<fnd::Array>& arguments() const { return arguments_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFXExecutableInfo() = default;
  std::optional<std::string> path_;
  std::shared_ptr<fnd::Array> arguments_;
};
