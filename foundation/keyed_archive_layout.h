#pragma once

// The layout of keyed archives shared by the archiver and the unarchiver
// (internal to fnd).

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/error.h"

namespace fnd {
class Class;
class Object;
}

namespace fnd::keyed_archive {

inline constexpr std::string_view kArchiverKey = "$archiver";
inline constexpr std::string_view kArchiverName = "NSKeyedArchiver";
inline constexpr std::string_view kVersionKey = "$version";
inline constexpr std::int64_t kVersion = 100000;
inline constexpr std::string_view kTopKey = "$top";
inline constexpr std::string_view kRootKey = "root";
inline constexpr std::string_view kArchiveObjectsKey = "$objects";
inline constexpr std::string_view kNull = "$null";
inline constexpr std::string_view kClassKey = "$class";
inline constexpr std::string_view kClassNameKey = "$classname";
inline constexpr std::string_view kClassesKey = "$classes";

inline constexpr std::string_view kStringKey = "NS.string";
inline constexpr std::string_view kDataKey = "NS.data";
inline constexpr std::string_view kTimeKey = "NS.time";
inline constexpr std::string_view kUUIDBytesKey = "NS.uuidbytes";
inline constexpr std::string_view kURLBaseKey = "NS.base";
inline constexpr std::string_view kURLRelativeKey = "NS.relative";
inline constexpr std::string_view kObjectsKey = "NS.objects";
inline constexpr std::string_view kKeysKey = "NS.keys";
inline constexpr std::string_view kErrorDomainKey = "NSDomain";
inline constexpr std::string_view kErrorCodeKey = "NSCode";
inline constexpr std::string_view kErrorUserInfoKey = "NSUserInfo";

// A key of the caller that begins with "$" gets one more "$", so it cannot
// collide with the archive's own keys.
std::string escapeKey(std::string_view key);

// Immutable strings, numbers and immutable data are written as bare
// property-list values rather than as keyed objects.
bool isPlainEntry(const Object& object);
// The classes whose layout the archive itself knows.
bool isPlatformClass(const Class& cls);

Error invalidValueError(std::string debugDescription);
Error readCorruptError(std::string debugDescription);

}  // namespace fnd::keyed_archive
