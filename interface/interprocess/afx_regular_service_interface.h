#pragma once

// The protocol every service exports: establishing a report stream back to
// the caller, and performing one request.

#include <functional>
#include <memory>
#include <string>

#include "foundation/ipc/endpoint.h"
#include "interface/interprocess/afx_interprocess_request.h"
#include "tools/qv_value_or_error.h"

class AFXRegularServiceInterface {
 public:
  // The value is the new stream's UUID.
  using StreamCallback = std::function<void(const std::shared_ptr<QVValueOrError>& streamIDOrError)>;

  virtual ~AFXRegularServiceInterface() = default;

  virtual void establishReportingStreamWithTierNamed(const std::string& tierName,
                                                     const std::shared_ptr<fnd::ipc::Endpoint>& endpoint,
                                                     StreamCallback callback) = 0;
  virtual void performInterprocessRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                          AFXInterprocessRequest::ResponseHandler responseHandler) = 0;
};
