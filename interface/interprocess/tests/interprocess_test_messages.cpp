#include "interface/interprocess/tests/interprocess_test_messages.h"

#include "foundation/number.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::defineModelClass;
using afx_model_detail::memberProperty;

const fnd::Class& TestCountResponse::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "TestCountResponse", AFXInterprocessResponse::staticClass(),
      [] { return std::shared_ptr<TestCountResponse>(new TestCountResponse); },
      {memberProperty("total", &TestCountResponse::total)}, &TestCountResponse::makeReflection);
  return cls;
}
std::shared_ptr<QVClassReflection> TestCountResponse::makeReflection() {
  auto reflection = AFXInterprocessResponse::makeReflection();
  reflection->addPropertyForSelector("total", fnd::Number::staticClass());
  return reflection;
}
std::shared_ptr<TestCountResponse> TestCountResponse::make() {
  (void)staticClass();
  return std::shared_ptr<TestCountResponse>(new TestCountResponse);
}

const fnd::Class& TestCountReport::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "TestCountReport", AFXInterprocessReport::staticClass(),
      [] { return std::shared_ptr<TestCountReport>(new TestCountReport); },
      {memberProperty("fractionCompleted", &TestCountReport::fractionCompleted)}, &TestCountReport::makeReflection);
  return cls;
}
std::shared_ptr<QVClassReflection> TestCountReport::makeReflection() {
  auto reflection = AFXInterprocessReport::makeReflection();
  reflection->addPropertyForSelector("fractionCompleted", fnd::Number::staticClass());
  return reflection;
}
std::shared_ptr<TestCountReport> TestCountReport::make() {
  (void)staticClass();
  return std::shared_ptr<TestCountReport>(new TestCountReport);
}

const fnd::Class& TestCountRequest::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "TestCountRequest", AFXInterprocessRequest::staticClass(),
      [] { return std::shared_ptr<TestCountRequest>(new TestCountRequest); },
      {memberProperty("count", &TestCountRequest::count)}, &TestCountRequest::makeReflection);
  return cls;
}
std::shared_ptr<QVClassReflection> TestCountRequest::makeReflection() {
  auto reflection = AFXInterprocessRequest::makeReflection();
  reflection->addPropertyForSelector("count", fnd::Number::staticClass());
  return reflection;
}
std::shared_ptr<TestCountRequest> TestCountRequest::make(std::uint64_t value) {
  (void)staticClass();
  auto request = std::shared_ptr<TestCountRequest>(new TestCountRequest);
  request->count = value;
  return request;
}
void TestCountRequest::performOnService(const std::shared_ptr<AFXInterprocessService>& service,
                                        ReportHandler reportHandler, ResponseHandler responseHandler) const {
  auto counting = std::dynamic_pointer_cast<TestCountingService>(service);
  counting->countTo(
      count,
      [reportHandler](double fraction) {
        auto report = TestCountReport::make();
        report->fractionCompleted = fraction;
        if (reportHandler) reportHandler(report);
      },
      [responseHandler](std::shared_ptr<QVValueOrError> result) {
        responseHandler(result->liftValue([](const fnd::Value& total) {
          auto response = TestCountResponse::make();
          response->total = static_cast<std::uint64_t>(total.integerValue().value_or(0));
          return fnd::Value(response);
        }));
      });
}

const fnd::Class& TestReadyResponse::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "TestReadyResponse", AFXInterprocessResponse::staticClass(),
      [] { return std::shared_ptr<TestReadyResponse>(new TestReadyResponse); },
      {memberProperty("ready", &TestReadyResponse::ready)}, &TestReadyResponse::makeReflection);
  return cls;
}
std::shared_ptr<QVClassReflection> TestReadyResponse::makeReflection() {
  auto reflection = AFXInterprocessResponse::makeReflection();
  reflection->addPropertyForSelector("ready", fnd::Number::staticClass());
  return reflection;
}
std::shared_ptr<TestReadyResponse> TestReadyResponse::make() {
  (void)staticClass();
  return std::shared_ptr<TestReadyResponse>(new TestReadyResponse);
}

const fnd::Class& TestReadyRequest::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "TestReadyRequest", AFXInterprocessRequest::staticClass(),
      [] { return std::shared_ptr<TestReadyRequest>(new TestReadyRequest); },
      {memberProperty("isUpdated", &TestReadyRequest::isUpdated), memberProperty("isForced", &TestReadyRequest::isForced)},
      &TestReadyRequest::makeReflection);
  return cls;
}
std::shared_ptr<QVClassReflection> TestReadyRequest::makeReflection() {
  auto reflection = AFXInterprocessRequest::makeReflection();
  reflection->addPropertyForSelector("isUpdated", {&fnd::Number::staticClass()}, fnd::Value(true), nullptr);
  reflection->addPropertyForSelector("isForced", fnd::Number::staticClass());
  return reflection;
}
std::shared_ptr<TestReadyRequest> TestReadyRequest::make() {
  (void)staticClass();
  return std::shared_ptr<TestReadyRequest>(new TestReadyRequest);
}
void TestReadyRequest::performOnService(const std::shared_ptr<AFXInterprocessService>& service,
                                        ReportHandler reportHandler, ResponseHandler responseHandler) const {
  requireNoReportHandler(reportHandler);
  std::dynamic_pointer_cast<TestCountingService>(service)->isReady(isUpdated, [responseHandler](bool ready) {
    auto response = TestReadyResponse::make();
    response->ready = ready;
    responseHandler(QVValueOrError::initWithValue(fnd::Value(response)));
  });
}
