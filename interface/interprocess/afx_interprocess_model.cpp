#include "interface/interprocess/afx_interprocess_model.h"

#include <algorithm>

#include "foundation/array.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/number.h"
#include "foundation/string.h"

namespace {

constexpr const char* kEstablish = "establishReportingStreamWithTierNamed";
constexpr const char* kPerform = "performInterprocessRequest";
constexpr const char* kDeliver = "deliverReport";
constexpr const char* kPrepare = "prepareForTerminationWithCallback";

void addOnce(AFXInterprocessModel::ClassSet& classes, const fnd::Class* cls) {
  if (std::find(classes.begin(), classes.end(), cls) == classes.end()) classes.push_back(cls);
}

std::shared_ptr<QVValueOrError> asValueOrError(const fnd::Value& value) { return value.as<QVValueOrError>(); }

}  // namespace

std::shared_ptr<fnd::ipc::Interface> AFXInterprocessModel::interprocessInterfaceWithRequestClasses(
    const ClassSet& requestClasses) {
  auto interface = fnd::ipc::Interface::create(AFXRegularServiceInterfaceBusName);
  interface->addMethod(kEstablish, 2, 1).addMethod(kPerform, 1, 1);
  ClassSet requests;
  ClassSet replies;
  for (const fnd::Class* requestClass : requestClasses) {
    addOnce(requests, requestClass);
    addOnce(replies, &AFXInterprocessRequest::responseClassOf(*requestClass));
  }
  addOnce(replies, &QVValueOrError::staticClass());
  interface->setClasses(requests, kPerform, 0, false);
  interface->setClasses(replies, kPerform, 0, true);
  interface->setClasses({&fnd::String::staticClass()}, kEstablish, 0, false);
  interface->setClasses({&fnd::ipc::Endpoint::staticClass()}, kEstablish, 1, false);
  interface->setClasses({&QVValueOrError::staticClass(), &fnd::UUID::staticClass()}, kEstablish, 0, true);
  return interface;
}

std::shared_ptr<fnd::ipc::Interface> AFXInterprocessModel::reportsStreamInterfaceWithRequestClasses(
    const ClassSet& requestClasses) {
  auto interface = fnd::ipc::Interface::create(AFXReportsStreamInterfaceBusName);
  interface->addMethod(kDeliver, 2, std::nullopt).addMethod(kPrepare, 0, 1);
  ClassSet reports;
  for (const fnd::Class* requestClass : requestClasses) {
    if (const fnd::Class* reportClass = AFXInterprocessRequest::reportClassOf(*requestClass)) addOnce(reports, reportClass);
  }
  interface->setClasses(reports, kDeliver, 0, false);
  interface->setClasses({&fnd::Array::staticClass(), &fnd::UUID::staticClass()}, kDeliver, 1, false);
  interface->setClasses({&fnd::Number::staticClass()}, kPrepare, 0, true);
  return interface;
}

// AFXRegularServiceRemoteProxy

AFXRegularServiceRemoteProxy::AFXRegularServiceRemoteProxy(const std::shared_ptr<fnd::ipc::Connection>& connection,
                                                           fnd::ipc::RemoteProxy::ErrorHandler errorHandler)
    : proxy_(connection->remoteObjectProxyWithErrorHandler(errorHandler)), errorHandler_(std::move(errorHandler)) {}

void AFXRegularServiceRemoteProxy::establishReportingStreamWithTierNamed(
    const std::string& tierName, const std::shared_ptr<fnd::ipc::Endpoint>& endpoint, StreamCallback callback) {
  proxy_.invoke(kEstablish, {fnd::Value(tierName), fnd::Value(endpoint)},
                [callback = std::move(callback), errorHandler = errorHandler_](std::vector<fnd::Value> reply) {
                  auto result = asValueOrError(reply[0]);
                  if (!result) {
                    if (errorHandler) errorHandler(fnd::ipc::replyInvalidError("The stream reply is no value-or-error."));
                    return;
                  }
                  callback(result);
                });
}

void AFXRegularServiceRemoteProxy::performInterprocessRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                                              AFXInterprocessRequest::ResponseHandler responseHandler) {
  proxy_.invoke(kPerform, {fnd::Value(request)},
                [responseHandler = std::move(responseHandler), errorHandler = errorHandler_](std::vector<fnd::Value> reply) {
                  auto result = asValueOrError(reply[0]);
                  if (!result) {
                    if (errorHandler) errorHandler(fnd::ipc::replyInvalidError("The response is no value-or-error."));
                    return;
                  }
                  responseHandler(result);
                });
}

// AFXReportsStreamRemoteProxy

AFXReportsStreamRemoteProxy::AFXReportsStreamRemoteProxy(const std::shared_ptr<fnd::ipc::Connection>& connection,
                                                         fnd::ipc::RemoteProxy::ErrorHandler errorHandler)
    : proxy_(connection->remoteObjectProxyWithErrorHandler(errorHandler)), errorHandler_(std::move(errorHandler)) {}

namespace {

fnd::Value sessionIDsValue(const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs) {
  std::vector<fnd::Value> sessions(reportSessionIDs.begin(), reportSessionIDs.end());
  return fnd::Value(fnd::Array::make(std::move(sessions)));
}

}  // namespace

void AFXReportsStreamRemoteProxy::deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                                                const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs) {
  proxy_.invoke(kDeliver, {fnd::Value(report), sessionIDsValue(reportSessionIDs)});
}

void AFXReportsStreamRemoteProxy::deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                                                const std::shared_ptr<fnd::ipc::ArchivedArgument>& archivedSessionIDs) {
  proxy_.invoke(kDeliver, {fnd::Value(report), fnd::Value(archivedSessionIDs)});
}

fnd::Expected<std::shared_ptr<fnd::ipc::ArchivedArgument>> AFXReportsStreamRemoteProxy::archiveSessionIDs(
    const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs) {
  return fnd::ipc::ArchivedArgument::archive(sessionIDsValue(reportSessionIDs));
}

void AFXReportsStreamRemoteProxy::prepareForTerminationWithCallback(std::function<void(bool)> callback) {
  proxy_.invoke(kPrepare, {}, [callback = std::move(callback)](std::vector<fnd::Value> reply) {
    callback(reply[0].boolValue().value_or(true));
  });
}

// AFXRegularServiceExportedObject

void AFXRegularServiceExportedObject::invokeMethod(const std::shared_ptr<fnd::ipc::Connection>&,
                                                   const std::string& method, std::vector<fnd::Value> arguments,
                                                   Reply reply) {
  auto target = target_.lock();
  if (!target) return;
  auto answer = [reply = std::move(reply)](const std::shared_ptr<QVValueOrError>& result) {
    if (reply) reply({fnd::Value(result)});
  };
  if (method == kEstablish) {
    target->establishReportingStreamWithTierNamed(arguments[0].stringValue().value_or(""),
                                                  arguments[1].as<fnd::ipc::Endpoint>(), answer);
  } else if (method == kPerform) {
    target->performInterprocessRequest(arguments[0].as<AFXInterprocessRequest>(), answer);
  }
}

// AFXReportsStreamExportedObject

void AFXReportsStreamExportedObject::invokeMethod(const std::shared_ptr<fnd::ipc::Connection>&,
                                                  const std::string& method, std::vector<fnd::Value> arguments,
                                                  Reply reply) {
  auto target = target_.lock();
  if (!target) {
    if (reply) reply({fnd::Value(true)});
    return;
  }
  if (method == kDeliver) {
    std::vector<std::shared_ptr<fnd::UUID>> sessions;
    if (auto array = arguments[1].as<fnd::Array>()) {
      for (const auto& element : array->elements()) {
        if (auto session = element.as<fnd::UUID>()) sessions.push_back(std::move(session));
      }
    }
    target->deliverReport(arguments[0].as<AFXInterprocessReport>(), sessions);
  } else if (method == kPrepare) {
    target->prepareForTerminationWithCallback([reply = std::move(reply)](bool ready) {
      if (reply) reply({fnd::Value(ready)});
    });
  }
}
