#include "interface/services/afx_family_server.h"

#include <string>

#include "interface/errors/afx_errors.h"

const fnd::Class& AFXFamilyServerBase::staticClass() {
  static const fnd::Class& cls = fnd::Class::define("AFXFamilyServer", &AFXRegularManagementServer::staticClass());
  return cls;
}

void AFXFamilyServerBase::setOperationHandler(std::shared_ptr<AFXFamilyService> handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void AFXFamilyServerBase::performFamilyOperation(AFXFamilyCall call) {
  std::shared_ptr<AFXFamilyService> handler;
  {
    std::lock_guard lock(mutex_);
    handler = handler_;
  }
  if (!handler) {
    call.finish(afx_makeErrorOfMissingServiceNamed(serviceID()->serviceName().value_or(""), call.operation->name()));
    return;
  }
  handler->performFamilyOperation(std::move(call));
}

std::shared_ptr<AFXInterprocessService> AFXFamilyServerBase::interprocessService() {
  return std::dynamic_pointer_cast<AFXInterprocessService>(shared_from_this());
}
