#pragma once

// Publishes one service: a listener on its name exporting
// AFXRegularServiceInterface, one report stream per connected client
// process (the reverse connection to that client's anonymous listener), and
// the hand-over of every request to the delegate (the services factory).
//
// `reportConnectionsByStreamID` lives on the internal queue
// "com.quorvex.regular-service-interface-proxy.internal-queue".

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "foundation/ipc/listener.h"
#include "foundation/queue.h"
#include "interface/interprocess/afx_interprocess_adaptor.h"
#include "interface/interprocess/afx_interprocess_model.h"
#include "interface/interprocess/afx_interprocess_server.h"

class AFXRegularInterprocessServerAdaptor;

class AFXRegularInterprocessServerAdaptorDelegate {
 public:
  virtual ~AFXRegularInterprocessServerAdaptorDelegate() = default;

  virtual void regularInterprocessServerAdaptorPerformRequest(AFXRegularInterprocessServerAdaptor& adaptor,
                                                              const std::shared_ptr<AFXInterprocessRequest>& request,
                                                              AFXInterprocessRequest::ReportHandler reportHandler,
                                                              AFXInterprocessRequest::ResponseHandler responseHandler) = 0;
  virtual void didEstablishConnectionOfRegularInterprocessServerAdaptor(
      AFXRegularInterprocessServerAdaptor& adaptor, const std::shared_ptr<fnd::UUID>& esteblishedStreamID) = 0;
  virtual void didLooseConnectionOfRegularInterprocessServerAdaptor(
      AFXRegularInterprocessServerAdaptor& adaptor, const std::shared_ptr<fnd::UUID>& esteblishedStreamID) = 0;
};

class AFXRegularInterprocessServerAdaptor final
    : public AFXInterprocessServerDelegate,
      public AFXInterprocessAdaptor,
      public AFXRegularServiceInterface,
      public std::enable_shared_from_this<AFXRegularInterprocessServerAdaptor> {
 public:
  using ClassSet = AFXInterprocessRequest::ClassSet;

  // Fails when the bus cannot be reached or the name is owned already.
  [[nodiscard]] static fnd::Expected<std::shared_ptr<AFXRegularInterprocessServerAdaptor>> initWithServiceName(
      std::string serviceName, ClassSet requestClasses,
      std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate);
  AFXRegularInterprocessServerAdaptor() = delete;
  ~AFXRegularInterprocessServerAdaptor() override;

  // The bus must know the exported methods before the first call, so the
  // listener is made with the interface it serves.
  [[nodiscard]] static fnd::Expected<std::shared_ptr<fnd::ipc::Listener>> makeXPCListenerWithServiceName(
      const std::string& serviceName, std::shared_ptr<const fnd::ipc::Interface> interface);

  // AFXRegularServiceInterface, called by clients.
  void establishReportingStreamWithTierNamed(const std::string& tierName,
                                             const std::shared_ptr<fnd::ipc::Endpoint>& endpoint,
                                             StreamCallback callback) override;
  void performInterprocessRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                  AFXInterprocessRequest::ResponseHandler responseHandler) override;

  // Hands a request to the delegate.
  void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                      AFXInterprocessRequest::ReportHandler reportHandler,
                      AFXInterprocessRequest::ResponseHandler responseHandler);

  // Asks every connected client; YES unless one answers NO.
  void prepareForTerminationWithCallback(std::function<void(bool)> callback);
  void xpcConnectionPrepareForTerminationWithCallback(const std::shared_ptr<fnd::ipc::Connection>& connection,
                                                      std::function<void(bool)> callback);

  std::shared_ptr<fnd::ipc::ExportedObject> interprocessServerMakeExportedObjectForConnection(
      AFXInterprocessServer& server, const std::shared_ptr<fnd::ipc::Connection>& connection) override;

  const std::string& serviceName() const override { return serviceName_; }
  const ClassSet& requestClasses() const { return requestClasses_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }
  std::shared_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate() const { return delegate_.lock(); }
  const std::shared_ptr<fnd::ipc::Listener>& xpcListener() const { return xpcListener_; }
  const std::shared_ptr<AFXInterprocessServer>& interprocessServer() const { return interprocessServer_; }
  // How many report streams are open (on the internal queue).
  std::size_t reportStreamCount() const;

 private:
  struct Token {};

 public:
  AFXRegularInterprocessServerAdaptor(Token, std::string serviceName, ClassSet requestClasses,
                                      std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate);

 private:
  void streamLost(const std::shared_ptr<fnd::UUID>& streamID);

  const std::string serviceName_;
  const ClassSet requestClasses_;
  const std::weak_ptr<AFXRegularInterprocessServerAdaptorDelegate> delegate_;
  const fnd::Queue internalQueue_;
  std::shared_ptr<fnd::ipc::Interface> reportsInterface_;
  std::shared_ptr<AFXRegularServiceExportedObject> exported_;
  std::shared_ptr<fnd::ipc::Listener> xpcListener_;
  std::shared_ptr<AFXInterprocessServer> interprocessServer_;

  // Confined to the internal queue.
  std::unordered_map<fnd::Value, std::shared_ptr<fnd::ipc::Connection>, fnd::ValueHash> reportConnectionsByStreamID_;
};
