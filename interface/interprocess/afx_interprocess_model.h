#pragma once

// The bus forms of the two interprocess protocols: the interfaces with the
// class whitelists of one service's request classes, the remote proxies that
// call them, and the exported objects that answer them.

#include <memory>
#include <vector>

#include "foundation/ipc/archived_argument.h"
#include "foundation/ipc/connection.h"
#include "foundation/ipc/exported_object.h"
#include "foundation/ipc/interface.h"
#include "interface/interprocess/afx_regular_service_interface.h"
#include "interface/interprocess/afx_reports_stream_interface.h"

inline constexpr const char* AFXRegularServiceInterfaceBusName = "com.korvia.RegularServiceInterface";
inline constexpr const char* AFXReportsStreamInterfaceBusName = "com.korvia.ReportsStreamInterface";

class AFXInterprocessModel {
 public:
  using ClassSet = AFXInterprocessRequest::ClassSet;

  AFXInterprocessModel() = delete;

  // performInterprocessRequest: argument 0 exactly the request classes;
  // reply 0 their response classes and QVValueOrError.
  // establishReportingStream: reply 0 QVValueOrError and NSUUID.
  static std::shared_ptr<fnd::ipc::Interface> interprocessInterfaceWithRequestClasses(const ClassSet& requestClasses);
  // deliverReport: argument 0 the report classes of the requests that have
  // one; argument 1 NSArray and NSUUID.
  static std::shared_ptr<fnd::ipc::Interface> reportsStreamInterfaceWithRequestClasses(const ClassSet& requestClasses);
};

// Calls AFXRegularServiceInterface over a connection. A reply of the wrong
// kind goes to the error handler as an invalid reply.
class AFXRegularServiceRemoteProxy final : public AFXRegularServiceInterface {
 public:
  AFXRegularServiceRemoteProxy(const std::shared_ptr<fnd::ipc::Connection>& connection,
                               fnd::ipc::RemoteProxy::ErrorHandler errorHandler);

  void establishReportingStreamWithTierNamed(const std::string& tierName,
                                             const std::shared_ptr<fnd::ipc::Endpoint>& endpoint,
                                             StreamCallback callback) override;
  void performInterprocessRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                  AFXInterprocessRequest::ResponseHandler responseHandler) override;

 private:
  fnd::ipc::RemoteProxy proxy_;
  fnd::ipc::RemoteProxy::ErrorHandler errorHandler_;
};

class AFXReportsStreamRemoteProxy final : public AFXReportsStreamInterface {
 public:
  AFXReportsStreamRemoteProxy(const std::shared_ptr<fnd::ipc::Connection>& connection,
                              fnd::ipc::RemoteProxy::ErrorHandler errorHandler);

  void deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                     const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs) override;
  // The same, with the array of session identifiers archived once for all
  // the reports of a request.
  void deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                     const std::shared_ptr<fnd::ipc::ArchivedArgument>& archivedSessionIDs);
  [[nodiscard]] static fnd::Expected<std::shared_ptr<fnd::ipc::ArchivedArgument>> archiveSessionIDs(
      const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs);
  void prepareForTerminationWithCallback(std::function<void(bool)> callback) override;

 private:
  fnd::ipc::RemoteProxy proxy_;
  fnd::ipc::RemoteProxy::ErrorHandler errorHandler_;
};

// Answers bus calls with an object implementing the protocol, held weakly.
class AFXRegularServiceExportedObject final : public fnd::ipc::ExportedObject {
 public:
  explicit AFXRegularServiceExportedObject(std::weak_ptr<AFXRegularServiceInterface> target)
      : target_(std::move(target)) {}
  void invokeMethod(const std::shared_ptr<fnd::ipc::Connection>& connection, const std::string& method,
                    std::vector<fnd::Value> arguments, Reply reply) override;

 private:
  std::weak_ptr<AFXRegularServiceInterface> target_;
};

class AFXReportsStreamExportedObject final : public fnd::ipc::ExportedObject {
 public:
  explicit AFXReportsStreamExportedObject(std::weak_ptr<AFXReportsStreamInterface> target)
      : target_(std::move(target)) {}
  void invokeMethod(const std::shared_ptr<fnd::ipc::Connection>& connection, const std::string& method,
                    std::vector<fnd::Value> arguments, Reply reply) override;

 private:
  std::weak_ptr<AFXReportsStreamInterface> target_;
};
