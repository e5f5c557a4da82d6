#include "interface/interprocess/afx_regular_interprocess_server_adaptor.h"

#include <atomic>

#include "foundation/check.h"
#include "foundation/ipc/ipc_error.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

AFXRegularInterprocessServerAdaptor::AFXRegularInterprocessServerAdaptor(
    Token, std::string serviceName, ClassSet requestClasses,
    std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate)
    : serviceName_(std::move(serviceName)),
      requestClasses_(std::move(requestClasses)),
      delegate_(std::move(delegate)),
      internalQueue_(QVQueueBuilder::internalQueueWithName("regular-service-interface-proxy")) {}

fnd::Expected<std::shared_ptr<fnd::ipc::Listener>> AFXRegularInterprocessServerAdaptor::makeXPCListenerWithServiceName(
    const std::string& serviceName, std::shared_ptr<const fnd::ipc::Interface> interface) {
  return fnd::ipc::Listener::createWithServiceName(serviceName, std::move(interface));
}

fnd::Expected<std::shared_ptr<AFXRegularInterprocessServerAdaptor>> AFXRegularInterprocessServerAdaptor::initWithServiceName(
    std::string serviceName, ClassSet requestClasses, std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate) {
  FND_PARAMETER_ASSERT(!serviceName.empty());
  auto adaptor = std::make_shared<AFXRegularInterprocessServerAdaptor>(Token{}, std::move(serviceName),
                                                                       std::move(requestClasses), std::move(delegate));
  auto exportedInterface = AFXInterprocessModel::interprocessInterfaceWithRequestClasses(adaptor->requestClasses_);
  adaptor->reportsInterface_ = AFXInterprocessModel::reportsStreamInterfaceWithRequestClasses(adaptor->requestClasses_);
  adaptor->exported_ = std::make_shared<AFXRegularServiceExportedObject>(adaptor);
  auto listener = makeXPCListenerWithServiceName(adaptor->serviceName_, exportedInterface);
  if (!listener) return listener.error();
  adaptor->xpcListener_ = *listener;
  auto server = AFXInterprocessServer::initWithXPCListener(adaptor->xpcListener_, adaptor, exportedInterface);
  if (!server) return server.error();
  adaptor->interprocessServer_ = *server;
  return adaptor;
}

AFXRegularInterprocessServerAdaptor::~AFXRegularInterprocessServerAdaptor() {
  if (xpcListener_) xpcListener_->invalidate();
}

std::shared_ptr<fnd::ipc::ExportedObject> AFXRegularInterprocessServerAdaptor::interprocessServerMakeExportedObjectForConnection(
    AFXInterprocessServer&, const std::shared_ptr<fnd::ipc::Connection>&) {
  return exported_;
}

std::size_t AFXRegularInterprocessServerAdaptor::reportStreamCount() const {
  return internalQueue_.sync([this] { return reportConnectionsByStreamID_.size(); });
}

void AFXRegularInterprocessServerAdaptor::establishReportingStreamWithTierNamed(
    const std::string& tierName, const std::shared_ptr<fnd::ipc::Endpoint>& endpoint, StreamCallback callback) {
  DDLogInfo("Establishing reporting stream with %@", tierName);
  if (!endpoint) {
    callback(QVValueOrError::initWithError(fnd::ipc::invalidError("No endpoint to report to.")));
    return;
  }
  auto connection = fnd::ipc::Connection::createWithEndpoint(*endpoint);
  if (!connection) {
    callback(QVValueOrError::initWithError(connection.error()));
    return;
  }
  auto streamID = fnd::UUID::make();
  (*connection)->setRemoteObjectInterface(reportsInterface_);
  std::weak_ptr<AFXRegularInterprocessServerAdaptor> weak = weak_from_this();
  auto lost = [weak, streamID] {
    if (auto self = weak.lock()) self->streamLost(streamID);
  };
  (*connection)->setInterruptionHandler(lost);
  (*connection)->setInvalidationHandler(lost);
  internalQueue_.async([self = shared_from_this(), connection = *connection, streamID, callback = std::move(callback)] {
    self->reportConnectionsByStreamID_.insert_or_assign(fnd::Value(streamID), connection);
    if (auto delegate = self->delegate()) {
      delegate->didEstablishConnectionOfRegularInterprocessServerAdaptor(*self, streamID);
    }
    connection->resume();
    callback(QVValueOrError::initWithValue(fnd::Value(streamID)));
  });
}

void AFXRegularInterprocessServerAdaptor::streamLost(const std::shared_ptr<fnd::UUID>& streamID) {
  internalQueue_.async([self = shared_from_this(), streamID] {
    // Interruption and invalidation may both come: the delegate hears once.
    if (self->reportConnectionsByStreamID_.erase(fnd::Value(streamID)) == 0) return;
    if (auto delegate = self->delegate()) {
      delegate->didLooseConnectionOfRegularInterprocessServerAdaptor(*self, streamID);
    }
  });
}

void AFXRegularInterprocessServerAdaptor::performInterprocessRequest(
    const std::shared_ptr<AFXInterprocessRequest>& request, AFXInterprocessRequest::ResponseHandler responseHandler) {
  if (!request) {
    responseHandler(QVValueOrError::initWithError(fnd::ipc::decodingError("No request.")));
    return;
  }
  auto streamID = request->reportStreamID();
  auto sessionID = request->reportSessionID();
  if (!streamID || !sessionID) {
    performRequest(request, nullptr, std::move(responseHandler));
    return;
  }
  internalQueue_.async([self = shared_from_this(), request, streamID, sessionID,
                        responseHandler = std::move(responseHandler)] {
    auto found = self->reportConnectionsByStreamID_.find(fnd::Value(streamID));
    if (found == self->reportConnectionsByStreamID_.end()) {
      responseHandler(QVValueOrError::initWithError(fnd::Error(AFXDefaultErrorDomain, AFXErrorCodeNoReportConnection)));
      return;
    }
    auto connection = found->second;
    // Every report of the request goes to the same session: its identifier
    // is archived once, not with each report.
    auto archivedSessions = AFXReportsStreamRemoteProxy::archiveSessionIDs({sessionID});
    if (!archivedSessions) {
      responseHandler(QVValueOrError::initWithError(archivedSessions.error()));
      return;
    }
    AFXInterprocessRequest::ReportHandler reportHandler = [connection, sessions = std::move(*archivedSessions)](
                                                              const std::shared_ptr<AFXInterprocessReport>& report) {
      AFXReportsStreamRemoteProxy proxy(connection, [report](const fnd::Error& error) {
        DDLogWarn("Did fail to deliver report %@ with error %@", fnd::Value(report).description(), error.description());
      });
      proxy.deliverReport(report, sessions);
    };
    self->performRequest(request, std::move(reportHandler), responseHandler);
  });
}

void AFXRegularInterprocessServerAdaptor::performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                                         AFXInterprocessRequest::ReportHandler reportHandler,
                                                         AFXInterprocessRequest::ResponseHandler responseHandler) {
  auto delegate = this->delegate();
  if (!delegate) {
    responseHandler(QVValueOrError::initWithError(
        afx_makeErrorOfMissingServiceNamed("delegate as AFXInterprocessServerDelegate", "performing request")));
    return;
  }
  delegate->regularInterprocessServerAdaptorPerformRequest(*this, request, std::move(reportHandler),
                                                           std::move(responseHandler));
}

void AFXRegularInterprocessServerAdaptor::xpcConnectionPrepareForTerminationWithCallback(
    const std::shared_ptr<fnd::ipc::Connection>& connection, std::function<void(bool)> callback) {
  // One answer per stream: the reply, or a connection error counted as YES.
  auto once = std::make_shared<std::atomic<bool>>(false);
  auto answer = [once, callback = std::move(callback)](bool ready) {
    if (!once->exchange(true)) callback(ready);
  };
  AFXReportsStreamRemoteProxy proxy(connection, [answer](const fnd::Error&) { answer(true); });
  proxy.prepareForTerminationWithCallback(answer);
}

void AFXRegularInterprocessServerAdaptor::prepareForTerminationWithCallback(std::function<void(bool)> callback) {
  internalQueue_.async([self = shared_from_this(), callback = std::move(callback)] {
    if (self->reportConnectionsByStreamID_.empty()) {
      callback(true);
      return;
    }
    struct Tally {
      std::atomic<std::size_t> remaining;
      std::atomic<std::size_t> refusals{0};
    };
    auto tally = std::make_shared<Tally>();
    tally->remaining = self->reportConnectionsByStreamID_.size();
    for (const auto& [streamID, connection] : self->reportConnectionsByStreamID_) {
      self->xpcConnectionPrepareForTerminationWithCallback(connection, [self, tally, callback](bool ready) {
        if (!ready) ++tally->refusals;
        if (--tally->remaining != 0) return;
        self->internalQueue_.async([tally, callback] { callback(tally->refusals == 0); });
      });
    }
  });
}
