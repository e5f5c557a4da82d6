#include "interface/services/afx_family_client.h"

#include <string>

#include "interface/errors/afx_errors.h"

namespace {

std::shared_ptr<QVValueOrError> factoryGone() {
  return QVValueOrError::initWithError(afx_makeErrorOfMissingObjectOfKind("services factory"));
}

std::shared_ptr<AFXFamilyResponse> responseOf(const std::shared_ptr<QVValueOrError>& answer) {
  return answer && !answer->error() ? answer->value().as<AFXFamilyResponse>() : nullptr;
}

// An answer that holds neither an error nor a family response cannot come
// through the whitelists; it is told as a missing response all the same.
std::shared_ptr<QVValueOrError> fieldOf(const std::shared_ptr<QVValueOrError>& answer, const std::string& field) {
  if (answer && answer->error()) return answer;
  const auto response = responseOf(answer);
  if (!response) return QVValueOrError::initWithError(afx_makeErrorOfMissingObjectOfKind("response"));
  const auto index = response->fields().type().indexOfKey(field);
  if (!index || response->fields().at(*index).isNil()) {
    return QVValueOrError::initWithError(afx_makeErrorOfMissingObjectOfKind(field));
  }
  return QVValueOrError::initWithValue(response->fields().at(*index));
}

}  // namespace

AFXFamilyClient::AFXFamilyClient(std::shared_ptr<AFXServiceID> serviceID,
                                 std::weak_ptr<AFXServicesFactory> servicesFactory,
                                 std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor,
                                 const AFXServiceFamily& family)
    : AFXRegularManagementClient(std::move(serviceID), std::move(servicesFactory), std::move(interprocessAdaptor),
                                 family.requestClasses()),
      family_(family) {}

std::shared_ptr<AFXFamilyRequest> AFXFamilyClient::makeFamilyRequest(std::string_view operation,
                                                                     Arguments arguments) const {
  const auto* row = family_.operationNamed(operation);
  FND_PARAMETER_ASSERT_TEXT(row != nullptr, "the family has an operation of that name");
  auto request = std::dynamic_pointer_cast<AFXFamilyRequest>(makeRequestOfClass(*row->requestType().cls));
  if (!request) return nullptr;
  for (const auto& [key, value] : arguments) request->setValue(key, value);
  return request;
}

void AFXFamilyClient::send(std::string_view operation, Arguments arguments,
                           AFXInterprocessRequest::ReportHandler reportHandler,
                           AFXInterprocessRequest::ResponseHandler responseHandler) {
  auto request = makeFamilyRequest(operation, arguments);
  if (!request) {
    responseHandler(factoryGone());
    return;
  }
  performRequest(request, std::move(reportHandler), std::move(responseHandler));
}

void AFXFamilyClient::sendForField(std::string_view operation, Arguments arguments, std::string_view field,
                                   ValueCallback callback, FamilyReportHandler reportHandler, bool wantsReports) {
  AFXInterprocessRequest::ReportHandler reports;
  if (wantsReports) {
    // A report session exists even when the caller gave no handler; its
    // reports are then dropped here.
    reports = [reportHandler](const std::shared_ptr<AFXInterprocessReport>& report) {
      const auto familyReport = std::dynamic_pointer_cast<AFXFamilyReport>(report);
      if (reportHandler && familyReport) reportHandler(*familyReport);
    };
  }
  send(operation, arguments, std::move(reports),
       [field = std::string(field), callback = std::move(callback)](const std::shared_ptr<QVValueOrError>& answer) {
         if (callback) callback(fieldOf(answer, field));
       });
}

void AFXFamilyClient::sendForError(std::string_view operation, Arguments arguments, ErrorCallback callback) {
  send(operation, arguments, nullptr, [callback = std::move(callback)](const std::shared_ptr<QVValueOrError>& answer) {
    if (callback) callback(answer ? answer->error() : std::nullopt);
  });
}

void AFXFamilyClient::sendAsReceived(std::string_view operation, Arguments arguments, ValueCallback callback) {
  send(operation, arguments, nullptr, [callback = std::move(callback)](const std::shared_ptr<QVValueOrError>& answer) {
    if (callback) callback(answer);
  });
}

void AFXFamilyClient::sendForResponse(std::string_view operation, Arguments arguments, ResponseCallback callback) {
  send(operation, arguments, nullptr, [callback = std::move(callback)](const std::shared_ptr<QVValueOrError>& answer) {
    if (callback) callback(responseOf(answer));
  });
}

void AFXFamilyClient::sendForBool(std::string_view operation, Arguments arguments, std::string_view field, bool fallback,
                                  std::function<void(bool)> callback) {
  sendForResponse(operation, arguments,
                  [field = std::string(field), fallback, callback = std::move(callback)](
                      const std::shared_ptr<AFXFamilyResponse>& response) {
                    if (callback) callback(response ? response->value(field).boolValue().value_or(fallback) : fallback);
                  });
}

void AFXFamilyClient::sendWithoutCallback(std::string_view operation, Arguments arguments) {
  send(operation, arguments, nullptr, [](const std::shared_ptr<QVValueOrError>&) {});
}
