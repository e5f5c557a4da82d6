#include "devtools/ipc_echo/echo_messages.h"

#include <unistd.h>

#include "foundation/array.h"
#include "foundation/check.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "interface/model/afx_model_support.h"

using afx_model_detail::defineModelClass;
using afx_model_detail::memberProperty;

namespace {

std::shared_ptr<IPCEchoService> echoService(const std::shared_ptr<AFXInterprocessService>& service) {
  auto echo = std::dynamic_pointer_cast<IPCEchoService>(service);
  FND_PARAMETER_ASSERT(echo != nullptr);
  return echo;
}

std::shared_ptr<QVValueOrError> responseWithItem(const std::shared_ptr<IPCEchoItem>& item) {
  auto response = IPCEchoResponse::make();
  response->item = item;
  response->serverProcessID = ::getpid();
  return QVValueOrError::initWithValue(fnd::Value(response));
}

}  // namespace

// IPCEchoItem

const fnd::Class& IPCEchoItem::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "IPCEchoItem", AFXBaseMutableModelObject::staticClass(), [] { return std::shared_ptr<IPCEchoItem>(new IPCEchoItem); },
      {memberProperty("text", &IPCEchoItem::text), memberProperty("number", &IPCEchoItem::number),
       memberProperty("tags", &IPCEchoItem::tags)},
      &IPCEchoItem::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> IPCEchoItem::makeReflection() {
  auto reflection = AFXBaseMutableModelObject::makeReflection();
  reflection->addPropertyForSelector("text", fnd::String::staticClass());
  reflection->addPropertyForSelector("number", fnd::Number::staticClass());
  reflection->addPropertyForSelector("tags", fnd::Array::staticClass(), fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<IPCEchoItem> IPCEchoItem::make(std::string itemText, std::int64_t itemNumber) {
  (void)staticClass();
  auto item = std::shared_ptr<IPCEchoItem>(new IPCEchoItem);
  item->text = std::move(itemText);
  item->number = itemNumber;
  return item;
}

bool IPCEchoItem::isEqual(const fnd::Object& other) const {
  const auto* that = dynamic_cast<const IPCEchoItem*>(&other);
  return that != nullptr && that->text == text && that->number == number &&
         fnd::Value(that->tags).isEqual(fnd::Value(tags));
}

std::size_t IPCEchoItem::hash() const { return std::hash<std::string>{}(text.value_or("")) ^ std::hash<std::int64_t>{}(number); }

// IPCEchoResponse

const fnd::Class& IPCEchoResponse::staticClass() {
  // Defined before the property table that names it.
  (void)IPCEchoItem::staticClass();
  static const fnd::Class& cls = defineModelClass(
      "IPCEchoResponse", AFXInterprocessResponse::staticClass(),
      [] { return std::shared_ptr<IPCEchoResponse>(new IPCEchoResponse); },
      {memberProperty("item", &IPCEchoResponse::item), memberProperty("serverProcessID", &IPCEchoResponse::serverProcessID)},
      &IPCEchoResponse::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> IPCEchoResponse::makeReflection() {
  auto reflection = AFXInterprocessResponse::makeReflection();
  reflection->addPropertyForSelector("item", IPCEchoItem::staticClass());
  reflection->addPropertyForSelector("serverProcessID", fnd::Number::staticClass());
  return reflection;
}

std::shared_ptr<IPCEchoResponse> IPCEchoResponse::make() {
  (void)staticClass();
  return std::shared_ptr<IPCEchoResponse>(new IPCEchoResponse);
}

// IPCSlowEchoReport

const fnd::Class& IPCSlowEchoReport::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "IPCSlowEchoReport", AFXInterprocessReport::staticClass(),
      [] { return std::shared_ptr<IPCSlowEchoReport>(new IPCSlowEchoReport); },
      {memberProperty("index", &IPCSlowEchoReport::index),
       memberProperty("fractionCompleted", &IPCSlowEchoReport::fractionCompleted),
       memberProperty("text", &IPCSlowEchoReport::text)},
      &IPCSlowEchoReport::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> IPCSlowEchoReport::makeReflection() {
  auto reflection = AFXInterprocessReport::makeReflection();
  reflection->addPropertyForSelector("index", fnd::Number::staticClass());
  reflection->addPropertyForSelector("fractionCompleted", fnd::Number::staticClass());
  reflection->addPropertyForSelector("text", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<IPCSlowEchoReport> IPCSlowEchoReport::make() {
  (void)staticClass();
  return std::shared_ptr<IPCSlowEchoReport>(new IPCSlowEchoReport);
}

// IPCEchoRequest

const fnd::Class& IPCEchoRequest::staticClass() {
  // Defined before the property table that names it.
  (void)IPCEchoItem::staticClass();
  static const fnd::Class& cls = defineModelClass(
      "IPCEchoRequest", AFXInterprocessRequest::staticClass(),
      [] { return std::shared_ptr<IPCEchoRequest>(new IPCEchoRequest); }, {memberProperty("item", &IPCEchoRequest::item)},
      &IPCEchoRequest::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> IPCEchoRequest::makeReflection() {
  auto reflection = AFXInterprocessRequest::makeReflection();
  reflection->addPropertyForSelector("item", IPCEchoItem::staticClass());
  return reflection;
}

std::shared_ptr<IPCEchoRequest> IPCEchoRequest::make(std::shared_ptr<IPCEchoItem> requestItem) {
  (void)staticClass();
  auto request = std::shared_ptr<IPCEchoRequest>(new IPCEchoRequest);
  request->item = std::move(requestItem);
  return request;
}

void IPCEchoRequest::performOnService(const std::shared_ptr<AFXInterprocessService>& service,
                                      ReportHandler reportHandler, ResponseHandler responseHandler) const {
  requireNoReportHandler(reportHandler);
  echoService(service)->echoItem(item, [responseHandler](std::shared_ptr<IPCEchoItem> echoed) {
    responseHandler(responseWithItem(echoed));
  });
}

// IPCSlowEchoRequest

const fnd::Class& IPCSlowEchoRequest::staticClass() {
  // Defined before the property table that names it.
  (void)IPCEchoItem::staticClass();
  static const fnd::Class& cls = defineModelClass(
      "IPCSlowEchoRequest", AFXInterprocessRequest::staticClass(),
      [] { return std::shared_ptr<IPCSlowEchoRequest>(new IPCSlowEchoRequest); },
      {memberProperty("item", &IPCSlowEchoRequest::item), memberProperty("reportCount", &IPCSlowEchoRequest::reportCount)},
      &IPCSlowEchoRequest::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> IPCSlowEchoRequest::makeReflection() {
  auto reflection = AFXInterprocessRequest::makeReflection();
  reflection->addPropertyForSelector("item", IPCEchoItem::staticClass());
  reflection->addPropertyForSelector("reportCount", fnd::Number::staticClass());
  return reflection;
}

std::shared_ptr<IPCSlowEchoRequest> IPCSlowEchoRequest::make(std::shared_ptr<IPCEchoItem> requestItem,
                                                             std::uint64_t count) {
  (void)staticClass();
  auto request = std::shared_ptr<IPCSlowEchoRequest>(new IPCSlowEchoRequest);
  request->item = std::move(requestItem);
  request->reportCount = count;
  return request;
}

void IPCSlowEchoRequest::performOnService(const std::shared_ptr<AFXInterprocessService>& service,
                                          ReportHandler reportHandler, ResponseHandler responseHandler) const {
  const std::uint64_t count = reportCount;
  auto text = item ? item->text : std::nullopt;
  echoService(service)->slowEchoItem(
      item, count,
      [reportHandler, count, text](std::uint64_t index) {
        if (!reportHandler) return;
        auto report = IPCSlowEchoReport::make();
        report->index = index;
        report->fractionCompleted = count == 0 ? 1.0 : static_cast<double>(index + 1) / static_cast<double>(count);
        report->text = text;
        reportHandler(report);
      },
      [responseHandler](std::shared_ptr<IPCEchoItem> echoed) { responseHandler(responseWithItem(echoed)); });
}

// IPCHangRequest

const fnd::Class& IPCHangRequest::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "IPCHangRequest", AFXInterprocessRequest::staticClass(),
      [] { return std::shared_ptr<IPCHangRequest>(new IPCHangRequest); }, {}, nullptr);
  return cls;
}

std::shared_ptr<IPCHangRequest> IPCHangRequest::make() {
  (void)staticClass();
  return std::shared_ptr<IPCHangRequest>(new IPCHangRequest);
}

void IPCHangRequest::performOnService(const std::shared_ptr<AFXInterprocessService>& service,
                                      ReportHandler reportHandler, ResponseHandler responseHandler) const {
  requireNoReportHandler(reportHandler);
  echoService(service)->hangWithCallback([responseHandler] { responseHandler(responseWithItem(nullptr)); });
}

// IPCCrashRequest

const fnd::Class& IPCCrashRequest::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "IPCCrashRequest", AFXInterprocessRequest::staticClass(),
      [] { return std::shared_ptr<IPCCrashRequest>(new IPCCrashRequest); },
      {memberProperty("markerPath", &IPCCrashRequest::markerPath)}, &IPCCrashRequest::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> IPCCrashRequest::makeReflection() {
  auto reflection = AFXInterprocessRequest::makeReflection();
  reflection->addPropertyForSelector("markerPath", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<IPCCrashRequest> IPCCrashRequest::make(std::optional<std::string> path) {
  (void)staticClass();
  auto request = std::shared_ptr<IPCCrashRequest>(new IPCCrashRequest);
  request->markerPath = std::move(path);
  return request;
}

void IPCCrashRequest::performOnService(const std::shared_ptr<AFXInterprocessService>& service,
                                       ReportHandler reportHandler, ResponseHandler responseHandler) const {
  requireNoReportHandler(reportHandler);
  echoService(service)->crashUnlessMarkerExists(markerPath, [responseHandler] {
    responseHandler(responseWithItem(IPCEchoItem::make("survived", 1)));
  });
}

// IPCUnlistedRequest

const fnd::Class& IPCUnlistedRequest::staticClass() {
  static const fnd::Class& cls = defineModelClass(
      "IPCUnlistedRequest", AFXInterprocessRequest::staticClass(),
      [] { return std::shared_ptr<IPCUnlistedRequest>(new IPCUnlistedRequest); }, {}, nullptr);
  return cls;
}

std::shared_ptr<IPCUnlistedRequest> IPCUnlistedRequest::make() {
  (void)staticClass();
  return std::shared_ptr<IPCUnlistedRequest>(new IPCUnlistedRequest);
}

void IPCUnlistedRequest::performOnService(const std::shared_ptr<AFXInterprocessService>&, ReportHandler,
                                          ResponseHandler responseHandler) const {
  responseHandler(responseWithItem(IPCEchoItem::make("unlisted", 0)));
}

AFXInterprocessRequest::ClassSet IPCEchoRequestClasses() {
  return {&IPCEchoRequest::staticClass(), &IPCSlowEchoRequest::staticClass(), &IPCHangRequest::staticClass(),
          &IPCCrashRequest::staticClass()};
}
