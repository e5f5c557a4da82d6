#include "interface/interprocess/afx_regular_interprocess_client_adaptor.h"

#include "foundation/check.h"
#include "foundation/ipc/ipc_error.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_queue_builder.h"

namespace {

constexpr const char* kStreamAction = "establishing report stream";

bool connectionBroke(const fnd::Error& error) {
  return fnd::ipc::isInterruptedError(error) || fnd::ipc::isInvalidError(error);
}

}  // namespace

// One establishment of a report stream: the first of its three outcomes
// counts (read and set on the internal queue).
struct AFXRegularInterprocessClientAdaptor::StreamSetup {
  std::shared_ptr<fnd::ipc::Connection> connection;
  AFXInterprocessClientDelegate::ConnectionCallback callback;
  bool finished = false;
};

AFXRegularInterprocessClientAdaptor::AFXRegularInterprocessClientAdaptor(
    Token, std::string serviceName, ClassSet requestClasses,
    std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate)
    : serviceName_(std::move(serviceName)),
      requestClasses_(std::move(requestClasses)),
      delegate_(std::move(delegate)),
      internalQueue_(QVQueueBuilder::internalQueueWithName("AFXInterprocessClient")) {}

std::shared_ptr<AFXRegularInterprocessClientAdaptor> AFXRegularInterprocessClientAdaptor::initWithServiceName(
    std::string serviceName, std::string tierName, ClassSet requestClasses,
    std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate) {
  FND_PARAMETER_ASSERT(!serviceName.empty());
  auto adaptor = std::make_shared<AFXRegularInterprocessClientAdaptor>(Token{}, std::move(serviceName),
                                                                       std::move(requestClasses), std::move(delegate));
  auto remoteInterface = AFXInterprocessModel::interprocessInterfaceWithRequestClasses(adaptor->requestClasses_);
  adaptor->interprocessClient_ =
      AFXInterprocessClient::initWithRemoteObjectInterface(std::move(remoteInterface), std::move(tierName), adaptor);
  adaptor->reportsInterface_ = AFXInterprocessModel::reportsStreamInterfaceWithRequestClasses(adaptor->requestClasses_);
  adaptor->reportsExport_ = std::make_shared<AFXReportsStreamExportedObject>(adaptor);
  auto listener = fnd::ipc::Listener::anonymousListener(adaptor->reportsInterface_);
  if (listener) {
    adaptor->xpcListener_ = *listener;
    adaptor->xpcListener_->setDelegate(adaptor);
    if (auto resumed = adaptor->xpcListener_->resume(); !resumed) adaptor->listenerError_ = resumed.error();
  } else {
    adaptor->listenerError_ = listener.error();
  }
  if (adaptor->listenerError_) DDLogError("Cannot listen for reports: %@", adaptor->listenerError_->description());
  return adaptor;
}

AFXRegularInterprocessClientAdaptor::~AFXRegularInterprocessClientAdaptor() {
  if (xpcListener_) xpcListener_->invalidate();
}

// Sending requests

void AFXRegularInterprocessClientAdaptor::performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                                         AFXInterprocessRequest::ReportHandler reportHandler,
                                                         AFXInterprocessRequest::ResponseHandler responseHandler) {
  FND_PARAMETER_ASSERT(request != nullptr);
  FND_PARAMETER_ASSERT_TEXT(request->requestingTierName().has_value(), "request.requestingTierName");
  FND_PARAMETER_ASSERT_TEXT(request->serviceID() != nullptr, "request.serviceID");
  FND_PARAMETER_ASSERT(responseHandler != nullptr);
  if (!reportHandler) {
    performRequestWithSession(request, nullptr, true, std::move(responseHandler));
    return;
  }
  auto session = fnd::UUID::make();
  auto sessionQueue = fnd::Queue::serial(QVQueueBuilder::internalQueueLabelWithName("AFXInterprocessClient.report-session"),
                                         fnd::QualityOfService::utility);
  internalQueue_.async([self = shared_from_this(), session, reportHandler = std::move(reportHandler), sessionQueue] {
    self->reportHandlersBySessionID_.insert_or_assign(fnd::Value(session), Session{reportHandler, sessionQueue});
  });
  std::weak_ptr<AFXRegularInterprocessClientAdaptor> weak = weak_from_this();
  auto finish = [weak, session, sessionQueue, responseHandler = std::move(responseHandler)](
                    const std::shared_ptr<QVValueOrError>& result) {
    auto self = weak.lock();
    if (!self) {
      responseHandler(result);
      return;
    }
    // The session goes first, so no report is routed after the response; the
    // response then waits on the session's queue behind the reports routed
    // before it, so the caller hears of none after it.
    self->internalQueue_.async([self, session, sessionQueue, responseHandler, result] {
      self->reportHandlersBySessionID_.erase(fnd::Value(session));
      sessionQueue.async([responseHandler, result] { responseHandler(result); });
    });
  };
  performRequestWithSession(request, session, true, std::move(finish));
}

void AFXRegularInterprocessClientAdaptor::performRequestWithSession(
    const std::shared_ptr<AFXInterprocessRequest>& request, const std::shared_ptr<fnd::UUID>& reportSessionID,
    bool canRetry, AFXInterprocessRequest::ResponseHandler responseHandler) {
  std::weak_ptr<AFXRegularInterprocessClientAdaptor> weak = weak_from_this();
  fetchXPCConnectionWithCallback(canRetry, [weak, request, reportSessionID, canRetry, responseHandler](
                                     const std::shared_ptr<fnd::ipc::Connection>& connection,
                                     const std::shared_ptr<fnd::UUID>& streamID, const std::optional<fnd::Error>& error) {
    if (error) {
      responseHandler(QVValueOrError::initWithError(*error));
      return;
    }
    AFXRegularServiceRemoteProxy proxy(connection, [weak, request, reportSessionID, canRetry,
                                                    responseHandler](const fnd::Error& proxyError) {
      auto self = weak.lock();
      if (self && canRetry && connectionBroke(proxyError)) {
        self->performRequestWithSession(request, reportSessionID, false, responseHandler);
        return;
      }
      responseHandler(QVValueOrError::initWithError(proxyError));
    });
    request->setReportStreamID(streamID);
    request->setReportSessionID(reportSessionID);
    proxy.performInterprocessRequest(request, responseHandler);
  });
}

void AFXRegularInterprocessClientAdaptor::publishLink() {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  link_.store(xpcConnection_ && streamID_ ? std::make_shared<const Link>(Link{xpcConnection_, streamID_}) : nullptr);
}

void AFXRegularInterprocessClientAdaptor::fetchXPCConnectionWithCallback(ConnectionCallback callback) {
  fetchXPCConnectionWithCallback(false, std::move(callback));
}

void AFXRegularInterprocessClientAdaptor::fetchXPCConnectionWithCallback(bool mayUseSnapshot, ConnectionCallback callback) {
  // A connection that breaks meanwhile fails the send, which is retried
  // through the internal queue, behind the news of the loss; the snapshot
  // only saves the first attempt its hop.
  if (auto link = mayUseSnapshot ? link_.load() : nullptr) {
    callback(link->connection, link->streamID, std::nullopt);
    return;
  }
  internalQueue_.async([self = shared_from_this(), callback = std::move(callback)] {
    if (self->xpcConnection_ && self->streamID_) {
      callback(self->xpcConnection_, self->streamID_, std::nullopt);
      return;
    }
    std::weak_ptr<AFXRegularInterprocessClientAdaptor> weak = self;
    self->interprocessClient_->fetchXPCConnectionWithCallback(
        [weak, callback](const std::shared_ptr<QVValueOrError>& result) {
          auto adaptor = weak.lock();
          if (result->error() || !adaptor) {
            callback(nullptr, nullptr,
                     result->error() ? *result->error() : fnd::ipc::invalidError("The adaptor was released."));
            return;
          }
          adaptor->internalQueue_.async([adaptor, callback] {
            if (!adaptor->xpcConnection_ || !adaptor->streamID_) {
              // Lost again before anyone could use it.
              callback(nullptr, nullptr, fnd::ipc::interruptedError());
              return;
            }
            callback(adaptor->xpcConnection_, adaptor->streamID_, std::nullopt);
          });
        });
  });
}

// The interprocess client's delegate

void AFXRegularInterprocessClientAdaptor::interprocessClientMakeXPCConnectionWithCallback(
    AFXInterprocessClient&, AFXInterprocessClientDelegate::ConnectionCallback callback) {
  auto connection = fnd::ipc::Connection::createWithServiceName(serviceName_);
  if (!connection) {
    callback(QVValueOrError::initWithError(connection.error()));
    return;
  }
  callback(QVValueOrError::initWithValue(fnd::Value(*connection)));
}

void AFXRegularInterprocessClientAdaptor::interprocessClientSetupXPCConnection(
    AFXInterprocessClient& client, const std::shared_ptr<fnd::ipc::Connection>& connection,
    AFXInterprocessClientDelegate::ConnectionCallback callback) {
  auto setup = std::make_shared<StreamSetup>(StreamSetup{connection, std::move(callback)});
  std::weak_ptr<AFXRegularInterprocessClientAdaptor> weak = weak_from_this();
  if (!xpcListener_) {
    auto error = afx_makeSystemIntegrityViolatedOnAction(kStreamAction, listenerError_);
    internalQueue_.async([self = shared_from_this(), setup, error] {
      self->finishStreamSetup(setup, QVValueOrError::initWithError(error));
    });
    return;
  }
  AFXRegularServiceRemoteProxy proxy(connection, [weak, setup](const fnd::Error& error) {
    auto self = weak.lock();
    if (!self) return;
    self->internalQueue_.async([self, setup, error] {
      if (setup->finished) return;
      DDLogError("Did fail to establish reporting stream with error %@", error.description());
      self->finishStreamSetup(setup, QVValueOrError::initWithError(afx_makeSystemIntegrityViolatedOnAction(kStreamAction, error)));
    });
  });
  internalQueue_.after(kReportStreamTimeout, [weak, setup] {
    auto self = weak.lock();
    if (!self || setup->finished) return;
    DDLogError("Did fail to establish reporting stream with timeout");
    self->finishStreamSetup(setup,
                            QVValueOrError::initWithError(afx_makeSystemIntegrityViolatedOnAction(kStreamAction, std::nullopt)));
  });
  proxy.establishReportingStreamWithTierNamed(
      client.tierName(), xpcListener_->endpoint(), [weak, setup](const std::shared_ptr<QVValueOrError>& reply) {
        auto self = weak.lock();
        if (!self) return;
        self->internalQueue_.async([self, setup, reply] {
          if (setup->finished) return;
          auto streamID = reply->value().as<fnd::UUID>();
          if (reply->error() || !streamID) {
            self->finishStreamSetup(setup, reply->error() ? reply
                                                          : QVValueOrError::initWithError(fnd::ipc::replyInvalidError(
                                                                "The stream reply holds no UUID.")));
            return;
          }
          self->streamID_ = streamID;
          self->xpcConnection_ = setup->connection;
          self->publishLink();
          self->finishStreamSetup(setup, QVValueOrError::initWithValue(fnd::Value(setup->connection)));
        });
      });
}

void AFXRegularInterprocessClientAdaptor::finishStreamSetup(const std::shared_ptr<StreamSetup>& setup,
                                                            const std::shared_ptr<QVValueOrError>& outcome) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  setup->finished = true;
  // A connection without its stream is not kept.
  if (outcome->error()) setup->connection->invalidate();
  auto callback = std::move(setup->callback);
  setup->connection.reset();
  callback(outcome);
}

void AFXRegularInterprocessClientAdaptor::interprocessClientDidEstablishConnection(
    AFXInterprocessClient&, const std::shared_ptr<fnd::ipc::Connection>& connection) {
  internalQueue_.async([self = shared_from_this(), connection] {
    if (connection != self->xpcConnection_) return;
    FND_PARAMETER_ASSERT_TEXT(self->streamID_ != nullptr, "self.streamID");
    if (auto delegate = self->delegate()) {
      delegate->didEstablishConnectionOfRegularInterprocessClientAdaptor(*self, self->streamID_);
    }
  });
}

void AFXRegularInterprocessClientAdaptor::interprocessClientDidLooseConnection(
    AFXInterprocessClient&, const std::shared_ptr<fnd::ipc::Connection>& connection) {
  internalQueue_.async([self = shared_from_this(), connection] {
    if (!self->xpcConnection_ || connection != self->xpcConnection_) return;
    if (auto delegate = self->delegate()) {
      delegate->didLooseConnectionOfRegularInterprocessClientAdaptor(*self, self->streamID_);
    }
    self->xpcConnection_.reset();
    self->streamID_.reset();
    self->publishLink();
  });
}

void AFXRegularInterprocessClientAdaptor::interprocessClientHandleSystemIntegrityViolationWithCallback(
    AFXInterprocessClient&, std::function<void(bool)> callback) {
  auto delegate = this->delegate();
  if (!delegate) {
    callback(false);
    return;
  }
  delegate->regularInterprocessClientAdaptorHandleSystemIntegrityViolationWithCallback(*this, std::move(callback));
}

// The report stream

bool AFXRegularInterprocessClientAdaptor::listenerShouldAcceptNewConnection(
    fnd::ipc::Listener&, const std::shared_ptr<fnd::ipc::Connection>& connection) {
  connection->setExportedInterface(reportsInterface_);
  connection->setExportedObject(reportsExport_);
  connection->resume();
  return true;
}

void AFXRegularInterprocessClientAdaptor::deliverReport(
    const std::shared_ptr<AFXInterprocessReport>& report, const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs) {
  internalQueue_.async([self = shared_from_this(), report, reportSessionIDs] {
    for (const auto& session : reportSessionIDs) {
      auto found = self->reportHandlersBySessionID_.find(fnd::Value(session));
      if (found == self->reportHandlersBySessionID_.end()) continue;
      found->second.queue.async([handler = found->second.handler, report] { handler(report); });
    }
  });
}

void AFXRegularInterprocessClientAdaptor::prepareForTerminationWithCallback(std::function<void(bool)> callback) {
  auto delegate = this->delegate();
  if (!delegate) {
    callback(true);
    return;
  }
  delegate->regularInterprocessClientAdaptorPrepareForTerminationWithCallback(*this, std::move(callback));
}
