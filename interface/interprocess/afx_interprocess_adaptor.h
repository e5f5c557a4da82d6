#pragma once

#include <string>

// What client and server adaptors share: the service name they serve.
class AFXInterprocessAdaptor {
 public:
  virtual ~AFXInterprocessAdaptor() = default;
  virtual const std::string& serviceName() const = 0;
};
