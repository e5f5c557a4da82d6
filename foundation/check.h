#pragma once

// Programming errors: a broken precondition or an unreachable branch stops the
// process in every build type, with the texts callers and tests rely on.

#include <string_view>

namespace fnd {

// Prints `text` and a newline on the standard error stream and aborts.
[[noreturn]] void programmingError(std::string_view text);

// Prints "Invalid parameter not satisfying: <expression>" and aborts.
[[noreturn]] void parameterAssertionFailed(std::string_view expression);

}  // namespace fnd

#define FND_PARAMETER_ASSERT(condition)                 \
  do {                                                  \
    if (!(condition)) [[unlikely]]                      \
      ::fnd::parameterAssertionFailed(#condition);      \
  } while (false)

// The same with the text the platform's callers know the check by, where the
// C++ expression reads differently ("nil != value").
#define FND_PARAMETER_ASSERT_TEXT(condition, text)      \
  do {                                                  \
    if (!(condition)) [[unlikely]]                      \
      ::fnd::parameterAssertionFailed(text);            \
  } while (false)

#define FND_NOT_REACHED() ::fnd::programmingError("We should not get here")
