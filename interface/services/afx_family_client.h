#pragma once

// The common base of the clients of table-declared families: each client
// operation makes the request of its row, stores its arguments by key and
// maps the answer to its callback in one of a few shapes. Callbacks run on
// the queue the answer arrives on; report handlers on the queue reports
// arrive on.

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "interface/services/afx_regular_management_client.h"
#include "interface/services/afx_service_family.h"

class AFXFamilyClient : public AFXRegularManagementClient {
 public:
  using Arguments = std::initializer_list<std::pair<std::string_view, fnd::Value>>;
  using ValueCallback = std::function<void(const std::shared_ptr<QVValueOrError>& valueOrError)>;
  using ErrorCallback = std::function<void(const std::optional<fnd::Error>& error)>;
  // The response, or none when the answer is an error.
  using ResponseCallback = std::function<void(const std::shared_ptr<AFXFamilyResponse>& response)>;
  using FamilyReportHandler = std::function<void(const AFXFamilyReport& report)>;

  const AFXServiceFamily& family() const { return family_; }

 protected:
  AFXFamilyClient(std::shared_ptr<AFXServiceID> serviceID, std::weak_ptr<AFXServicesFactory> servicesFactory,
                  std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor,
                  const AFXServiceFamily& family);

  // The row's request with the arguments stored; none (logged) once the
  // services factory is gone.
  std::shared_ptr<AFXFamilyRequest> makeFamilyRequest(std::string_view operation, Arguments arguments) const;

  // A value-or-error of one response field: an error passes unchanged, a
  // field left nil becomes a missing-object error naming it.
  void sendForField(std::string_view operation, Arguments arguments, std::string_view field, ValueCallback callback,
                    FamilyReportHandler reportHandler = nullptr, bool wantsReports = false);
  // The error alone, or none on success.
  void sendForError(std::string_view operation, Arguments arguments, ErrorCallback callback);
  // The value-or-error as received (its value is the response).
  void sendAsReceived(std::string_view operation, Arguments arguments, ValueCallback callback);
  // The response for plain results, none on error; the caller applies the
  // documented fallback.
  void sendForResponse(std::string_view operation, Arguments arguments, ResponseCallback callback);
  // A BOOL field of the response, or `fallback` when the answer is an error.
  void sendForBool(std::string_view operation, Arguments arguments, std::string_view field, bool fallback,
                   std::function<void(bool value)> callback);
  // The answer is ignored.
  void sendWithoutCallback(std::string_view operation, Arguments arguments);

 private:
  void send(std::string_view operation, Arguments arguments, AFXInterprocessRequest::ReportHandler reportHandler,
            AFXInterprocessRequest::ResponseHandler responseHandler);

  const AFXServiceFamily& family_;
};

// The class side of a family client: every client declares its name, its
// family and its make; the rest of what AFXServiceClassOf asks follows.
#define AFX_FAMILY_CLIENT_CLASS_OPERATIONS(Client, FamilyFunction)                                          \
  static std::string_view className() { return #Client; }                                                  \
  static const fnd::Class& serviceIDClass() { return FamilyFunction().serviceIDClass(); }                   \
  static ClassSet requestClasses() { return FamilyFunction().requestClasses(); }                            \
  static std::shared_ptr<Client> make(std::shared_ptr<AFXServiceID> serviceID,                              \
                                      std::weak_ptr<AFXServicesFactory> servicesFactory,                    \
                                      std::shared_ptr<AFXRegularInterprocessClientAdaptor> adaptor) {       \
    return std::shared_ptr<Client>(new Client(std::move(serviceID), std::move(servicesFactory), std::move(adaptor))); \
  }
