// korvia-ipc-echo: the interprocess test service and its client.
//
//   korvia-ipc-echo serve NAME [--stall-streams]
//       Publishes the echo service on NAME until killed. With
//       --stall-streams the service never answers a report stream's
//       establishment (for time-out tests).
//   korvia-ipc-echo call NAME TEXT [REPORTS]
//       Echoes TEXT (slowly, with REPORTS reports, when given) and prints
//       one line per report and the echoed text.
//   korvia-ipc-echo post NAME OBJECT KEY VALUE
//       Posts a distributed notification with one user-information entry.
//   korvia-ipc-echo observe NAME [OBJECT]
//       Prints the first matching notification as "name|object|KEY=VALUE"
//       and exits.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iostream>
#include <string>
#include <vector>

#include "devtools/ipc_echo/echo_messages.h"
#include "foundation/ipc/distributed_notification_center.h"
#include "foundation/ipc/listener.h"
#include "foundation/queue.h"
#include "interface/interprocess/afx_regular_interprocess_client_adaptor.h"
#include "interface/interprocess/afx_regular_interprocess_server_adaptor.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: korvia-ipc-echo serve NAME [--stall-streams]\n"
               "       korvia-ipc-echo call NAME TEXT [REPORTS]\n"
               "       korvia-ipc-echo post NAME OBJECT KEY VALUE\n"
               "       korvia-ipc-echo observe NAME [OBJECT]\n");
  return 64;
}

class EchoService final : public IPCEchoService {
 public:
  void echoItem(const std::shared_ptr<IPCEchoItem>& item,
                std::function<void(std::shared_ptr<IPCEchoItem>)> callback) override {
    callback(item);
  }
  void slowEchoItem(const std::shared_ptr<IPCEchoItem>& item, std::uint64_t reportCount,
                    std::function<void(std::uint64_t)> report,
                    std::function<void(std::shared_ptr<IPCEchoItem>)> callback) override {
    // Reports come from one worker, in order, before the answer.
    fnd::Queue::global().async([item, reportCount, report, callback] {
      for (std::uint64_t index = 0; index < reportCount; ++index) report(index);
      callback(item);
    });
  }
  void hangWithCallback(std::function<void()> callback) override { kept_.push_back(std::move(callback)); }
  void crashUnlessMarkerExists(const std::optional<std::string>& markerPath, std::function<void()> callback) override {
    struct stat info {};
    if (markerPath && ::stat(markerPath->c_str(), &info) == 0) {
      callback();
      return;
    }
    if (markerPath) std::ofstream(*markerPath) << "crashed once\n";
    std::_Exit(70);
  }

 private:
  std::vector<std::function<void()>> kept_;  // only on the connection's queue
};

class EchoServer final : public AFXRegularInterprocessServerAdaptorDelegate {
 public:
  std::shared_ptr<EchoService> service = std::make_shared<EchoService>();

  void regularInterprocessServerAdaptorPerformRequest(AFXRegularInterprocessServerAdaptor&,
                                                      const std::shared_ptr<AFXInterprocessRequest>& request,
                                                      AFXInterprocessRequest::ReportHandler reportHandler,
                                                      AFXInterprocessRequest::ResponseHandler responseHandler) override {
    // Requests without reports get no report handler (the execution contract).
    if (!AFXInterprocessRequest::reportClassOf(request->objectClass())) reportHandler = nullptr;
    request->performOnService(service, std::move(reportHandler), std::move(responseHandler));
  }
  void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                const std::shared_ptr<fnd::UUID>& streamID) override {
    std::fprintf(stderr, "stream %s established\n", streamID->UUIDString().c_str());
  }
  void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                            const std::shared_ptr<fnd::UUID>& streamID) override {
    std::fprintf(stderr, "stream %s lost\n", streamID->UUIDString().c_str());
  }
};

// Takes every call and answers none: a service whose streams never come up.
class StallingObject final : public fnd::ipc::ExportedObject, public fnd::ipc::ListenerDelegate {
 public:
  void invokeMethod(const std::shared_ptr<fnd::ipc::Connection>&, const std::string&, std::vector<fnd::Value>,
                    Reply reply) override {
    kept_.push_back(std::move(reply));
  }
  bool listenerShouldAcceptNewConnection(fnd::ipc::Listener&, const std::shared_ptr<fnd::ipc::Connection>& connection) override {
    connection->setExportedObject(self);
    connection->resume();
    return true;
  }
  std::weak_ptr<StallingObject> self;

 private:
  std::vector<Reply> kept_;
};

int serve(const std::string& name, bool stallStreams) {
  if (stallStreams) {
    auto object = std::make_shared<StallingObject>();
    object->self = object;
    auto listener = fnd::ipc::Listener::createWithServiceName(
        name, AFXInterprocessModel::interprocessInterfaceWithRequestClasses(IPCEchoRequestClasses()));
    if (!listener) return std::fprintf(stderr, "%s\n", listener.error().description().c_str()), 69;
    (*listener)->setDelegate(object);
    if (auto resumed = (*listener)->resume(); !resumed) {
      return std::fprintf(stderr, "%s\n", resumed.error().description().c_str()), 69;
    }
    fnd::MainLoop::run();
    return 0;
  }
  auto server = std::make_shared<EchoServer>();
  auto adaptor = AFXRegularInterprocessServerAdaptor::initWithServiceName(name, IPCEchoRequestClasses(), server);
  if (!adaptor) {
    std::fprintf(stderr, "%s\n", adaptor.error().description().c_str());
    return 69;
  }
  fnd::MainLoop::run();
  return 0;
}

int call(const std::string& name, const std::string& text, std::optional<std::uint64_t> reports) {
  auto adaptor = AFXRegularInterprocessClientAdaptor::initWithServiceName(name, IPCEchoTierName, IPCEchoRequestClasses(), {});
  auto item = IPCEchoItem::make(text, 1);
  std::shared_ptr<AFXInterprocessRequest> request;
  if (reports) {
    request = IPCSlowEchoRequest::make(item, *reports);
  } else {
    request = IPCEchoRequest::make(item);
  }
  request->setRequestingTierName(IPCEchoTierName);
  request->setServiceID(AFXGlobalServiceID::initWithServiceName(name));
  std::promise<int> done;
  AFXInterprocessRequest::ReportHandler reportHandler;
  if (reports) {
    reportHandler = [](const std::shared_ptr<AFXInterprocessReport>& report) {
      if (auto slow = std::dynamic_pointer_cast<IPCSlowEchoReport>(report)) {
        std::printf("report %llu %.3f\n", static_cast<unsigned long long>(slow->index), slow->fractionCompleted);
      }
    };
  }
  adaptor->performRequest(request, reportHandler, [&done](const std::shared_ptr<QVValueOrError>& result) {
    auto response = result->value().as<IPCEchoResponse>();
    if (!response || !response->item) {
      std::fprintf(stderr, "%s\n", result->error() ? result->error()->description().c_str() : "no response");
      fnd::Queue::main().async([&done] { done.set_value(1); fnd::MainLoop::quit(); });
      return;
    }
    std::printf("%s\n", response->item->text.value_or("").c_str());
    fnd::Queue::main().async([&done] { done.set_value(0); fnd::MainLoop::quit(); });
  });
  // The connection retry runs on the main queue.
  fnd::MainLoop::run();
  return done.get_future().get();
}

int post(const std::string& name, const std::string& object, const std::string& key, const std::string& value) {
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  if (!center) return std::fprintf(stderr, "%s\n", center.error().description().c_str()), 69;
  auto posted = (*center)->postNotificationName(name, object, fnd::Dictionary::make({{fnd::Value(key), fnd::Value(value)}}));
  if (!posted) return std::fprintf(stderr, "%s\n", posted.error().description().c_str()), 69;
  return 0;
}

int observe(const std::string& name, std::optional<std::string> object) {
  auto center = fnd::DistributedNotificationCenter::defaultCenter();
  if (!center) return std::fprintf(stderr, "%s\n", center.error().description().c_str()), 69;
  auto token = (*center)->addObserverForName(name, object, fnd::Queue::main(), [](const fnd::DistributedNotification& n) {
    std::string line = n.name + "|" + n.object.value_or("") + "|";
    if (n.userInfo) {
      for (const auto& [key, value] : n.userInfo->entries()) line += key.stringValue().value_or("?") + "=" + value.stringValue().value_or("?");
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    fnd::MainLoop::quit();
  });
  if (!token) return std::fprintf(stderr, "%s\n", token.error().description().c_str()), 69;
  std::printf("observing\n");
  std::fflush(stdout);
  fnd::MainLoop::run();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "serve") return serve(args[1], args.size() > 2 && args[2] == "--stall-streams");
  if (args.size() >= 3 && args[0] == "call") {
    std::optional<std::uint64_t> reports;
    if (args.size() > 3) reports = std::strtoull(args[3].c_str(), nullptr, 10);
    return call(args[1], args[2], reports);
  }
  if (args.size() == 5 && args[0] == "post") return post(args[1], args[2], args[3], args[4]);
  if (args.size() >= 2 && args[0] == "observe") {
    return observe(args[1], args.size() > 2 ? std::optional<std::string>(args[2]) : std::nullopt);
  }
  return usage();
}
