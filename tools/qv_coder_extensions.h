#pragma once

// Coding by selector: records that code a property by hand use the getter's
// name as the key, as the generic coding does.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/class.h"
#include "foundation/value.h"

namespace fnd {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace fnd

std::string qv_keyFromSelector(std::string_view selector);

void qv_encodeObject(fnd::KeyedArchiver& coder, const fnd::Value& object, std::string_view selector);
void qv_encodeConditionalObject(fnd::KeyedArchiver& coder, const fnd::Value& object, std::string_view selector);

// A value of another class yields nil (and fails nothing).
fnd::Value qv_decodeStringForSelector(fnd::KeyedUnarchiver& coder, std::string_view selector);
fnd::Value qv_decodeNumberForSelector(fnd::KeyedUnarchiver& coder, std::string_view selector);

fnd::Value qv_decodeObjectOfClass(fnd::KeyedUnarchiver& coder, const fnd::Class& cls, std::string_view selector);
fnd::Value qv_decodeObjectOfClasses(fnd::KeyedUnarchiver& coder, const std::vector<const fnd::Class*>& classes,
                                    std::string_view selector);
fnd::Value qv_decodeContainerOfClass(fnd::KeyedUnarchiver& coder, const fnd::Class& containerClass,
                                     const fnd::Class& objectClass, std::string_view selector);
fnd::Value qv_decodeContainerOfClass(fnd::KeyedUnarchiver& coder, const fnd::Class& containerClass,
                                     const std::vector<const fnd::Class*>& objectClasses, std::string_view selector);
fnd::Value qv_decodeArrayWithObjectClass(fnd::KeyedUnarchiver& coder, const fnd::Class& objectClass,
                                         std::string_view selector);
fnd::Value qv_decodeArrayWithObjectClasses(fnd::KeyedUnarchiver& coder,
                                           const std::vector<const fnd::Class*>& objectClasses,
                                           std::string_view selector);
