#include "foundation/check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fnd {

void programmingError(std::string_view text) {
  std::string line(text);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  std::abort();
}

void parameterAssertionFailed(std::string_view expression) {
  std::string text = "Invalid parameter not satisfying: ";
  text.append(expression);
  programmingError(text);
}

}  // namespace fnd
