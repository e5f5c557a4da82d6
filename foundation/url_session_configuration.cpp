#include "foundation/url_session_configuration.h"

namespace fnd {

URLSessionConfiguration URLSessionConfiguration::defaultSessionConfiguration() {
  return URLSessionConfiguration(false);
}

URLSessionConfiguration URLSessionConfiguration::ephemeralSessionConfiguration() {
  return URLSessionConfiguration(true);
}

}  // namespace fnd
