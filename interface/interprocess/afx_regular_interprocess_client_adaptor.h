#pragma once

// The client side of one service name: its connection and report stream,
// shared by every client of that service. Each new connection first
// establishes a report stream (the service's way back to this process's
// anonymous listener); requests travel with the stream's UUID and, when the
// caller wants progress, a session UUID that routes reports to its handler.
// A request whose connection breaks is sent once more on a new connection.
//
// State (`xpcConnection`, `streamID`, the report handlers) lives on the
// internal queue "com.quorvex.AFXInterprocessClient.internal-queue".

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "foundation/ipc/listener.h"
#include "foundation/queue.h"
#include "interface/interprocess/afx_interprocess_adaptor.h"
#include "interface/interprocess/afx_interprocess_client.h"
#include "interface/interprocess/afx_interprocess_model.h"
#include "interface/interprocess/afx_regular_interprocess_client_adaptor_delegate.h"

class AFXRegularInterprocessClientAdaptor final : public fnd::ipc::ListenerDelegate,
                                                  public AFXReportsStreamInterface,
                                                  public AFXInterprocessClientDelegate,
                                                  public AFXInterprocessAdaptor,
                                                  public std::enable_shared_from_this<AFXRegularInterprocessClientAdaptor> {
 public:
  using ClassSet = AFXInterprocessRequest::ClassSet;
  // Either the error is empty and both others are set, or the error is set.
  using ConnectionCallback = std::function<void(const std::shared_ptr<fnd::ipc::Connection>& connection,
                                                const std::shared_ptr<fnd::UUID>& streamID,
                                                const std::optional<fnd::Error>& error)>;

  // How long the service has to answer the stream's establishment.
  static constexpr fnd::Clock::Duration kReportStreamTimeout = std::chrono::seconds(20);

  static std::shared_ptr<AFXRegularInterprocessClientAdaptor> initWithServiceName(
      std::string serviceName, std::string tierName, ClassSet requestClasses,
      std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate);
  AFXRegularInterprocessClientAdaptor() = delete;
  ~AFXRegularInterprocessClientAdaptor() override;

  // `responseHandler` is called exactly once; `reportHandler` (optional)
  // gets the request's reports, in order, until the response.
  void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                      AFXInterprocessRequest::ReportHandler reportHandler,
                      AFXInterprocessRequest::ResponseHandler responseHandler);
  void fetchXPCConnectionWithCallback(ConnectionCallback callback);

  // AFXReportsStreamInterface, called by the service.
  void deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                     const std::vector<std::shared_ptr<fnd::UUID>>& reportSessionIDs) override;
  void prepareForTerminationWithCallback(std::function<void(bool)> callback) override;

  // fnd::ipc::ListenerDelegate: the service's reverse connection.
  bool listenerShouldAcceptNewConnection(fnd::ipc::Listener& listener,
                                         const std::shared_ptr<fnd::ipc::Connection>& connection) override;

  // AFXInterprocessClientDelegate.
  void interprocessClientMakeXPCConnectionWithCallback(AFXInterprocessClient& client,
                                                       AFXInterprocessClientDelegate::ConnectionCallback callback) override;
  void interprocessClientHandleSystemIntegrityViolationWithCallback(AFXInterprocessClient& client,
                                                                    std::function<void(bool)> callback) override;
  void interprocessClientDidEstablishConnection(AFXInterprocessClient& client,
                                                const std::shared_ptr<fnd::ipc::Connection>& connection) override;
  void interprocessClientDidLooseConnection(AFXInterprocessClient& client,
                                            const std::shared_ptr<fnd::ipc::Connection>& connection) override;
  void interprocessClientSetupXPCConnection(AFXInterprocessClient& client,
                                            const std::shared_ptr<fnd::ipc::Connection>& connection,
                                            AFXInterprocessClientDelegate::ConnectionCallback callback) override;

  const std::string& serviceName() const override { return serviceName_; }
  const ClassSet& requestClasses() const { return requestClasses_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }
  std::shared_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate() const { return delegate_.lock(); }
  const std::shared_ptr<fnd::ipc::Listener>& xpcListener() const { return xpcListener_; }
  const std::shared_ptr<AFXInterprocessClient>& interprocessClient() const { return interprocessClient_; }

 private:
  struct Token {};
  struct Session {
    AFXInterprocessRequest::ReportHandler handler;
    // Reports of one session run one after another, in the order they came.
    fnd::Queue queue;
  };
  struct StreamSetup;

 public:
  AFXRegularInterprocessClientAdaptor(Token, std::string serviceName, ClassSet requestClasses,
                                      std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate);

 private:
  void performRequestWithSession(const std::shared_ptr<AFXInterprocessRequest>& request,
                                 const std::shared_ptr<fnd::UUID>& reportSessionID, bool canRetry,
                                 AFXInterprocessRequest::ResponseHandler responseHandler);
  void finishStreamSetup(const std::shared_ptr<StreamSetup>& setup, const std::shared_ptr<QVValueOrError>& outcome);

  const std::string serviceName_;
  const ClassSet requestClasses_;
  const std::weak_ptr<AFXRegularInterprocessClientAdaptorDelegate> delegate_;
  const fnd::Queue internalQueue_;
  std::shared_ptr<fnd::ipc::Interface> reportsInterface_;
  std::shared_ptr<AFXReportsStreamExportedObject> reportsExport_;
  std::shared_ptr<fnd::ipc::Listener> xpcListener_;
  std::optional<fnd::Error> listenerError_;
  std::shared_ptr<AFXInterprocessClient> interprocessClient_;

  // Confined to the internal queue.
  std::unordered_map<fnd::Value, Session, fnd::ValueHash> reportHandlersBySessionID_;
  std::shared_ptr<fnd::ipc::Connection> xpcConnection_;
  std::shared_ptr<fnd::UUID> streamID_;
  // The two above as one snapshot, published by the internal queue whenever
  // they change, so a request on an established connection is sent from the
  // caller's thread without a hop to the internal queue.
  struct Link {
    std::shared_ptr<fnd::ipc::Connection> connection;
    std::shared_ptr<fnd::UUID> streamID;
  };
  std::atomic<std::shared_ptr<const Link>> link_;
  void publishLink();
  void fetchXPCConnectionWithCallback(bool mayUseSnapshot, ConnectionCallback callback);
};
