#pragma once

// An argument archived once for many calls. Passed where a call takes a
// value, it travels as the archive it holds, so a value sent with every one
// of many calls (the sessions of a report stream) is archived only once. The
// receiver sees the value itself: it is decoded against the interface's
// classes like any argument.

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/expected.h"
#include "foundation/object.h"
#include "foundation/value.h"

namespace fnd::ipc {

class ArchivedArgument final : public Object {
 public:
  static const Class& staticClass();
  [[nodiscard]] static Expected<std::shared_ptr<ArchivedArgument>> archive(const Value& value);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  const Class& objectClass() const override { return staticClass(); }

  // Made only by archive (see ObjectToken).
  ArchivedArgument(ObjectToken<ArchivedArgument>, std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace fnd::ipc
