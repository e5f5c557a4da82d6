#pragma once

// A small family of messages for the library's own tests: one plain request
// with a BOOL field, and one with reports.

#include <functional>
#include <memory>

#include "interface/interprocess/afx_interprocess_request.h"

class TestCountingService : public AFXInterprocessService {
 public:
  virtual void countTo(std::uint64_t count, std::function<void(double)> progress,
                       std::function<void(std::shared_ptr<QVValueOrError>)> callback) = 0;
  virtual void isReady(bool updated, std::function<void(bool)> callback) = 0;
};

class TestCountResponse final : public AFXInterprocessResponse {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<TestCountResponse> make();
  std::uint64_t total = 0;
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  TestCountResponse() = default;
};

class TestCountReport final : public AFXInterprocessReport {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<TestCountReport> make();
  double fractionCompleted = 0;
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  TestCountReport() = default;
};

class TestCountRequest final : public AFXInterprocessRequest {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<TestCountRequest> make(std::uint64_t count);
  std::uint64_t count = 0;
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& responseClass() const override { return TestCountResponse::staticClass(); }
  const fnd::Class* reportClass() const override { return &TestCountReport::staticClass(); }
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  TestCountRequest() = default;
};

class TestReadyResponse final : public AFXInterprocessResponse {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<TestReadyResponse> make();
  bool ready = false;
  const fnd::Class& objectClass() const override { return staticClass(); }

 private:
  TestReadyResponse() = default;
};

// `isUpdated` is coded with the default YES.
class TestReadyRequest final : public AFXInterprocessRequest {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<TestReadyRequest> make();
  bool isUpdated = false;
  bool isForced = false;
  const fnd::Class& objectClass() const override { return staticClass(); }
  const fnd::Class& responseClass() const override { return TestReadyResponse::staticClass(); }
  void performOnService(const std::shared_ptr<AFXInterprocessService>& service, ReportHandler reportHandler,
                        ResponseHandler responseHandler) const override;

 private:
  TestReadyRequest() = default;
};
