#pragma once

// Whether a resource is stored locally. Statuses are ranked by priority, so a
// refresh that reports a resource as missing does not forget a stored file.

#include <cstdint>
#include <memory>

#include "foundation/url.h"
#include "interface/model/afx_base_model_object.h"

class AFXResourceStatus : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();

  virtual std::int64_t priority() const = 0;
  // The local file, when there is one now.
  virtual std::shared_ptr<fnd::URL> downloadedResourceURL() const = 0;

  // The old status when it ranks strictly higher than the new one, else the
  // new one. A missing side ranks lowest.
  static std::shared_ptr<AFXResourceStatus> mergeOldStatus(std::shared_ptr<AFXResourceStatus> oldStatus,
                                                           std::shared_ptr<AFXResourceStatus> newStatus);

 protected:
  AFXResourceStatus() = default;
};

class AFXResourceMissingStatus final : public AFXResourceStatus {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<AFXResourceMissingStatus> make();

  std::int64_t priority() const override { return 1; }
  std::shared_ptr<fnd::URL> downloadedResourceURL() const override { return nullptr; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  // Every missing status is the same.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return "missing"; }

 private:
  AFXResourceMissingStatus() = default;
};

class AFXResourceExistsStatus final : public AFXResourceStatus {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // A null URL is a programming error.
  static std::shared_ptr<AFXResourceExistsStatus> initWithStorageURL(std::shared_ptr<fnd::URL> storageURL);

  std::int64_t priority() const override { return 3; }
  // The storage URL while a file is there.
  std::shared_ptr<fnd::URL> downloadedResourceURL() const override;
  const std::shared_ptr<fnd::URL>& storageURL() const { return storageURL_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  // By storage URL.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXResourceExistsStatus() = default;
  std::shared_ptr<fnd::URL> storageURL_;
};
