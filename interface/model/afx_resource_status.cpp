#include "interface/model/afx_resource_status.h"

#include "foundation/check.h"
#include "foundation/file_manager.h"
#include "foundation/format.h"
#include "interface/model/afx_model_support.h"

// AFXResourceStatus

const fnd::Class& AFXResourceStatus::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXResourceStatus", AFXBaseModelObject::staticClass(), {}, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXResourceStatus> AFXResourceStatus::mergeOldStatus(std::shared_ptr<AFXResourceStatus> oldStatus,
                                                                     std::shared_ptr<AFXResourceStatus> newStatus) {
  const std::int64_t oldPriority = oldStatus ? oldStatus->priority() : 0;
  const std::int64_t newPriority = newStatus ? newStatus->priority() : 0;
  return oldPriority > newPriority ? oldStatus : newStatus;
}

// AFXResourceMissingStatus

const fnd::Class& AFXResourceMissingStatus::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXResourceMissingStatus", AFXResourceStatus::staticClass(),
      [] { return std::shared_ptr<AFXResourceMissingStatus>(new AFXResourceMissingStatus); }, {}, nullptr);
  return cls;
}

std::shared_ptr<AFXResourceMissingStatus> AFXResourceMissingStatus::make() {
  (void)staticClass();
  return std::shared_ptr<AFXResourceMissingStatus>(new AFXResourceMissingStatus);
}

bool AFXResourceMissingStatus::isEqual(const fnd::Object& other) const { return other.isKindOfClass(staticClass()); }

std::size_t AFXResourceMissingStatus::hash() const { return 1; }

// AFXResourceExistsStatus

const fnd::Class& AFXResourceExistsStatus::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFXResourceExistsStatus", AFXResourceStatus::staticClass(),
      [] { return std::shared_ptr<AFXResourceExistsStatus>(new AFXResourceExistsStatus); },
      {afx_model_detail::memberProperty("storageURL", &AFXResourceExistsStatus::storageURL_)},
      &AFXResourceExistsStatus::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFXResourceExistsStatus::makeReflection() {
  auto reflection = AFXResourceStatus::makeReflection();
  reflection->addPropertyForSelector("storageURL", fnd::URL::staticClass());
  return reflection;
}

std::shared_ptr<AFXResourceExistsStatus> AFXResourceExistsStatus::initWithStorageURL(
    std::shared_ptr<fnd::URL> storageURL) {
  FND_PARAMETER_ASSERT(storageURL != nullptr);
  (void)staticClass();
  auto status = std::shared_ptr<AFXResourceExistsStatus>(new AFXResourceExistsStatus);
  status->storageURL_ = std::move(storageURL);
  return status;
}

std::shared_ptr<fnd::URL> AFXResourceExistsStatus::downloadedResourceURL() const {
  if (!storageURL_ || !storageURL_->isFileURL()) return nullptr;
  return fnd::FileManager::defaultManager().fileExistsAtPath(storageURL_->path()) ? storageURL_ : nullptr;
}

bool AFXResourceExistsStatus::isEqual(const fnd::Object& other) const {
  const auto* status = dynamic_cast<const AFXResourceExistsStatus*>(&other);
  return status != nullptr && storageURL_ && fnd::Value(storageURL_).isEqual(fnd::Value(status->storageURL_));
}

std::size_t AFXResourceExistsStatus::hash() const { return afx_model_detail::hashOf(fnd::Value(storageURL_)); }

std::string AFXResourceExistsStatus::description() const {
  return fnd::StringWithFormat("exists at %@", fnd::Value(storageURL_));
}
