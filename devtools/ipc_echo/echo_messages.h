#pragma once

// The test service that korvia-ipc-echo publishes: a small model object and
// requests that echo it, echo it slowly with reports, never answer, or end
// the server mid-call.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/array.h"
#include "interface/interprocess/afx_interprocess_request.h"

inline constexpr const char* IPCEchoTierName = "KorviaIPCEcho";

class IPCEchoItem final : public AFXBaseMutableModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<IPCEchoItem> make(std::string text, std::int64_t number);

  std::optional<std::string> text;
  std::int64_t number = 0;
  std::shared_ptr<fnd::Array> tags;

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  IPCEchoItem() = default;
};

// What the requests run on.
class IPCEchoService : public AFXInterprocessService {
 public:
  virtual void echoItem(const std::shared_ptr<IPCEchoItem>& item,
                        std::function<void(std::shared_ptr<IPCEchoItem>)> callback) = 0;
  virtual void slowEchoItem(const std::shared_ptr<IPCEchoItem>& item, std::uint64_t reportCount,
                            std::function<void(std::uint64_t index)> report,
                            std::function<void(std::shared_ptr<IPCEchoItem>)> callback) = 0;
  // Keeps the callback and never calls it.
  virtual void hangWithCallback(std::function<void()> callback) = 0;
  // Ends the process, unless `markerPath` names a file that exists (then it
  // answers); without a path it always ends the process. Creates the marker
  // before it ends.
  virtual void crashUnlessMarkerExists(const std::optional<std::string>& markerPath, std::function<void()> callback) = 0;
};

class IPCEchoResponse final : public AFXInterprocessResponse {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<IPCEchoResponse> make();
  std::shared_ptr<IPCEchoItem> item;
  std::int64_t serverProcessID = 0;
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  IPCEchoResponse() = default;
};

class IPCSlowEchoReport final : public AFXInterprocessReport {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<IPCSlowEchoReport> make();
  std::uint64_t index = 0;
  double fractionCompleted = 0;
  // The echoed text, so a report names the request it belongs to.
  std::optional<std::string> text;
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  IPCSlowEchoReport() = default;
};

class IPCEchoRequest final : public AFXInterprocessRequest {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<IPCEchoRequest> make(std::shared_ptr<IPCEchoItem> item);
  std::shared_ptr<IPCEchoItem> item;
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& responseClass() const override { return IPCEchoResponse::staticClass(); }
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  IPCEchoRequest() = default;
};

class IPCSlowEchoRequest final : public AFXInterprocessRequest {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<IPCSlowEchoRequest> make(std::shared_ptr<IPCEchoItem> item, std::uint64_t reportCount);
  std::shared_ptr<IPCEchoItem> item;
  std::uint64_t reportCount = 0;
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& responseClass() const override { return IPCEchoResponse::staticClass(); }
  const fnd::Class* reportClass() const override { return &IPCSlowEchoReport::staticClass(); }
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  IPCSlowEchoRequest() = default;
};

class IPCHangRequest final : public AFXInterprocessRequest {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<IPCHangRequest> make();
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& responseClass() const override { return IPCEchoResponse::staticClass(); }
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  IPCHangRequest() = default;
};

class IPCCrashRequest final : public AFXInterprocessRequest {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<IPCCrashRequest> make(std::optional<std::string> markerPath);
  std::optional<std::string> markerPath;
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& responseClass() const override { return IPCEchoResponse::staticClass(); }
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  IPCCrashRequest() = default;
};

// A request the service does not list: its whitelist must keep it out.
class IPCUnlistedRequest final : public AFXInterprocessRequest {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<IPCUnlistedRequest> make();
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& responseClass() const override { return IPCEchoResponse::staticClass(); }
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  IPCUnlistedRequest() = default;
};

// The request classes the service publishes.
AFXInterprocessRequest::ClassSet IPCEchoRequestClasses();
