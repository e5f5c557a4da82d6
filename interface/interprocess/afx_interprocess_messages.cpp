#include "foundation/check.h"
#include "interface/interprocess/afx_interprocess_report.h"
#include "interface/interprocess/afx_interprocess_request.h"
#include "interface/interprocess/afx_interprocess_response.h"
#include "interface/model/afx_model_classes.h"
#include "interface/model/afx_model_support.h"

// AFXInterprocessResponse

const fnd::Class& AFXInterprocessResponse::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXInterprocessResponse", AFXBaseMutableModelObject::staticClass(),
      [] { return std::shared_ptr<AFXInterprocessResponse>(new AFXInterprocessResponse); }, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXInterprocessResponse> AFXInterprocessResponse::make() {
  (void)staticClass();
  return std::shared_ptr<AFXInterprocessResponse>(new AFXInterprocessResponse);
}

// AFXInterprocessReport

const fnd::Class& AFXInterprocessReport::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXInterprocessReport", AFXBaseMutableModelObject::staticClass(),
      [] { return std::shared_ptr<AFXInterprocessReport>(new AFXInterprocessReport); }, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXInterprocessReport> AFXInterprocessReport::make() {
  (void)staticClass();
  return std::shared_ptr<AFXInterprocessReport>(new AFXInterprocessReport);
}

// AFXInterprocessRequest

const fnd::Class& AFXInterprocessRequest::staticClass() {
  // Classes named by the property table are defined first: defining one
  // while the table is being built is not allowed.
  (void)AFXServiceID::staticClass();
  // The identities a request may carry must be known by name wherever
  // requests are decoded, before any of them is made here.
  (void)AFXGlobalServiceID::staticClass();
  (void)AFXEnvironmentServiceID::staticClass();
  (void)AFXCustomerServiceID::staticClass();
  AFXRegisterModelClasses();
  // Abstract: no factory, so no instance of the base is ever decoded.
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXInterprocessRequest", AFXBaseMutableModelObject::staticClass(), {},
      {afx_model_detail::memberProperty("serviceID", &AFXInterprocessRequest::serviceID_),
       afx_model_detail::memberProperty("reportStreamID", &AFXInterprocessRequest::reportStreamID_),
       afx_model_detail::memberProperty("reportSessionID", &AFXInterprocessRequest::reportSessionID_)},
      &AFXInterprocessRequest::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXInterprocessRequest::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("serviceID", AFXServiceID::staticClass());
  reflection->addPropertyForSelector("reportStreamID", fnd::UUID::staticClass());
  reflection->addPropertyForSelector("reportSessionID", fnd::UUID::staticClass());
  return reflection;
}

void AFXInterprocessRequest::setServiceID(std::shared_ptr<AFXServiceID> serviceID) { serviceID_ = std::move(serviceID); }

namespace {

std::shared_ptr<AFXInterprocessRequest> prototypeOf(const fnd::Class& requestClass) {
  FND_PARAMETER_ASSERT(requestClass.isSubclassOfClass(AFXInterprocessRequest::staticClass()));
  auto prototype = std::dynamic_pointer_cast<AFXInterprocessRequest>(requestClass.makeInstance());
  // Only the abstract base has no factory.
  FND_PARAMETER_ASSERT_TEXT(prototype != nullptr, "responseClass is implemented by a concrete request");
  return prototype;
}

}  // namespace

const fnd::Class& AFXInterprocessRequest::responseClassOf(const fnd::Class& requestClass) {
  return prototypeOf(requestClass)->responseClass();
}

const fnd::Class* AFXInterprocessRequest::reportClassOf(const fnd::Class& requestClass) {
  return prototypeOf(requestClass)->reportClass();
}

const fnd::Class& AFXInterprocessRequest::responseClass() const { FND_NOT_REACHED(); }

void AFXInterprocessRequest::performOnService(const std::shared_ptr<AFXInterprocessService>&, ReportHandler,
                                              ResponseHandler) const {
  FND_NOT_REACHED();
}

void AFXInterprocessRequest::requireNoReportHandler(const ReportHandler& reportHandler) {
  FND_PARAMETER_ASSERT_TEXT(reportHandler == nullptr, "nil == reportHandler");
}
