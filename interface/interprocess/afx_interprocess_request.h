#pragma once

// One service operation as a message: the service it addresses, the report
// stream of the connection it travels over and, when the caller wants
// progress, the report session naming the caller's handler. Concrete
// requests name their response and report classes and carry out the
// operation on the server side.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/uuid.h"
#include "interface/interprocess/afx_interprocess_report.h"
#include "interface/interprocess/afx_interprocess_response.h"
#include "interface/interprocess/afx_service_id.h"
#include "interface/model/afx_base_model_object.h"
#include "tools/qv_value_or_error.h"

// What a request is performed on: the object implementing its service's
// protocol. Concrete requests cast it to their family's protocol.
class AFXInterprocessService {
 public:
  virtual ~AFXInterprocessService() = default;
};

class AFXInterprocessRequest : public AFXBaseMutableModelObject {
 public:
  using ReportHandler = std::function<void(const std::shared_ptr<AFXInterprocessReport>& report)>;
  using ResponseHandler = std::function<void(const std::shared_ptr<QVValueOrError>& responseOrError)>;
  using ClassSet = std::vector<const fnd::Class*>;

  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // The class operations, asked of a request class. The base has no
  // response class (a programming error) and no report class.
  static const fnd::Class& responseClassOf(const fnd::Class& requestClass);
  static const fnd::Class* reportClassOf(const fnd::Class& requestClass);

  // Not coded: it never crosses the wire.
  const std::optional<std::string>& requestingTierName() const { return requestingTierName_; }
  void setRequestingTierName(std::optional<std::string> name) { requestingTierName_ = std::move(name); }
  const std::shared_ptr<AFXServiceID>& serviceID() const { return serviceID_; }
  void setServiceID(std::shared_ptr<AFXServiceID> serviceID);
  const std::shared_ptr<fnd::UUID>& reportStreamID() const { return reportStreamID_; }
  void setReportStreamID(std::shared_ptr<fnd::UUID> streamID) { reportStreamID_ = std::move(streamID); }
  const std::shared_ptr<fnd::UUID>& reportSessionID() const { return reportSessionID_; }
  void setReportSessionID(std::shared_ptr<fnd::UUID> sessionID) { reportSessionID_ = std::move(sessionID); }

  // Instance forms of the class operations.
  virtual const fnd::Class& responseClass() const;
  virtual const fnd::Class* reportClass() const { return nullptr; }

  // Server side: runs the operation on `service`; `responseHandler` is called
  // exactly once. Requests without reports require an empty report handler.
  virtual void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                                ResponseHandler responseHandler) const;

  const fnd::Class& objectClass() const override { return staticClass(); }

 protected:
  AFXInterprocessRequest() = default;
  // The execution contract's first rule, for requests without reports.
  static void requireNoReportHandler(const ReportHandler& reportHandler);

 private:
  std::optional<std::string> requestingTierName_;
  std::shared_ptr<AFXServiceID> serviceID_;
  std::shared_ptr<fnd::UUID> reportStreamID_;
  std::shared_ptr<fnd::UUID> reportSessionID_;
};
