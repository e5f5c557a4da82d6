#pragma once

// A downloadable file of the catalogue: where it comes from and whether and
// where it is stored. Each resource class has a coded twin (archived and
// exchanged between processes) and a managed twin (kept in the store); both
// share the capability below and the same property table.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "foundation/check.h"
#include "interface/model/afx_coded_model_object.h"
#include "interface/model/afx_model_support.h"
#include "interface/model/afx_resource_kind.h"
#include "interface/model/afx_resource_status.h"

class AFXApp;

class AFXResource {
 public:
  virtual ~AFXResource() = default;

  virtual AFXResourceKind kind() const = 0;
  virtual const std::optional<std::string>& identifier() const = 0;
  virtual const std::shared_ptr<fnd::URL>& downloadURL() const = 0;
  virtual const std::shared_ptr<AFXResourceStatus>& status() const = 0;

  std::optional<std::string> statsdID() const { return AFXResourceKindGetStatsdID(kind()); }
  std::shared_ptr<fnd::URL> downloadedURL() const { return status() ? status()->downloadedResourceURL() : nullptr; }
};

// Resources that belong to one app.
class AFXAppResource : public virtual AFXResource {
 public:
  virtual std::optional<std::int64_t> appID() const = 0;
};

// Lower-case hex SHA-1 of the URL's absolute string followed by `suffix`.
std::string AFXResourceIdentifierForURL(const fnd::URL& url, std::string_view suffix = {});

namespace afx_resource_detail {

// The state and rules every resource shares, over either twin's root.
template <class Root>
class ResourceTwin : public Root, public virtual AFXResource {
 public:
  const std::optional<std::string>& identifier() const override { return identifier_; }
  void setIdentifier(std::optional<std::string> identifier) { identifier_ = std::move(identifier); }
  const std::shared_ptr<fnd::URL>& downloadURL() const override { return downloadURL_; }
  void setDownloadURL(std::shared_ptr<fnd::URL> url) { downloadURL_ = std::move(url); }
  const std::shared_ptr<AFXResourceStatus>& status() const override { return status_; }
  void setStatus(std::shared_ptr<AFXResourceStatus> status) { status_ = std::move(status); }

  // Resources are the same file when their identifiers are, whatever their
  // statuses and twins.
  bool isEqual(const fnd::Object& other) const override {
    const auto* resource = dynamic_cast<const AFXResource*>(&other);
    return resource != nullptr && resource->identifier() == identifier_;
  }
  std::size_t hash() const override { return afx_model_detail::hashOf(identifier_); }
  std::string description() const override;

  static std::vector<fnd::Class::Property> ownProperties() {
    using afx_model_detail::memberProperty;
    return {memberProperty("identifier", &ResourceTwin::identifier_),
            memberProperty("downloadURL", &ResourceTwin::downloadURL_),
            memberProperty("status", &ResourceTwin::status_)};
  }
  static void addOwnProperties(QVClassReflection& reflection) {
    reflection.addPropertyForSelector("identifier", fnd::String::staticClass());
    reflection.addPropertyForSelector("downloadURL", fnd::URL::staticClass());
    reflection.addPropertyForSelector("status", AFXResourceStatus::staticClass());
  }

 protected:
  ResourceTwin() = default;

 private:
  std::optional<std::string> identifier_;
  std::shared_ptr<fnd::URL> downloadURL_;
  std::shared_ptr<AFXResourceStatus> status_;
};

std::string describeResource(const fnd::Object& object, const AFXResource& resource);

template <class Root>
std::string ResourceTwin<Root>::description() const {
  return describeResource(*this, *this);
}

}  // namespace afx_resource_detail

class AFXCodedResource : public afx_resource_detail::ResourceTwin<AFXCodedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

 protected:
  AFXCodedResource() = default;
  // A new resource of a concrete coded class: identified by the URL (and
  // `suffix`), from that URL, missing.
  template <class T>
  static std::shared_ptr<T> makeWithDownloadURL(std::shared_ptr<fnd::URL> url, std::string_view suffix = {});
};

class AFXManagedResource : public afx_resource_detail::ResourceTwin<AFXManagedModelObject> {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // Copies the record's properties, keeping a stored file that the record
  // does not know about (see AFXResourceStatus::mergeOldStatus).
  void setupWithPrototype(const fnd::Object& prototype) override;

 protected:
  AFXManagedResource() = default;
};

template <class T>
std::shared_ptr<T> AFXCodedResource::makeWithDownloadURL(std::shared_ptr<fnd::URL> url, std::string_view suffix) {
  FND_PARAMETER_ASSERT(url != nullptr);
  auto resource = std::dynamic_pointer_cast<T>(T::staticClass().makeInstance());
  resource->setIdentifier(AFXResourceIdentifierForURL(*url, suffix));
  resource->setDownloadURL(std::move(url));
  resource->setStatus(AFXResourceMissingStatus::make());
  return resource;
}

// Resources of one app. The managed twin derives `appID` from its `app`
// relationship, which the store links (setupWithPrototype with lookups).
class AFXCodedAppResource : public AFXCodedResource, public virtual AFXAppResource {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  std::optional<std::int64_t> appID() const override { return appID_; }
  void setAppID(std::optional<std::int64_t> appID) { appID_ = appID; }

 protected:
  AFXCodedAppResource() = default;
  template <class T>
  static std::shared_ptr<T> makeWithDownloadURL(std::shared_ptr<fnd::URL> url, const AFXApp& app,
                                                std::string_view suffix = {});

 private:
  std::optional<std::int64_t> appID_;
};

// The app's identifier (apps are declared with the catalogue).
std::optional<std::int64_t> AFXAppIdentifierOf(const AFXApp& app);

template <class T>
std::shared_ptr<T> AFXCodedAppResource::makeWithDownloadURL(std::shared_ptr<fnd::URL> url, const AFXApp& app,
                                                            std::string_view suffix) {
  auto resource = AFXCodedResource::makeWithDownloadURL<T>(std::move(url), suffix);
  resource->setAppID(AFXAppIdentifierOf(app));
  return resource;
}

// Store lookups that link managed records: identifier → managed object.
// Null when the key is absent or the entry is not a managed object.
std::shared_ptr<AFXManagedModelObject> AFXManagedObjectForID(const fnd::Dictionary& objects,
                                                             const fnd::Value& identifier);

class AFXManagedAppResource : public AFXManagedResource, public virtual AFXAppResource {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // The owning managed app's identifier.
  std::optional<std::int64_t> appID() const override;
  std::shared_ptr<AFXManagedModelObject> app() const { return app_.lock(); }
  void setApp(const std::shared_ptr<AFXManagedModelObject>& app) { app_ = app; }

  // Fills from a record and links the app found under the record's appID
  // (and, for vendor resources, the versions under its version identifiers).
  virtual void setupWithPrototype(const fnd::Object& prototype, const fnd::Dictionary& appByID,
                                  const fnd::Dictionary& appVersionByID);
  using AFXManagedResource::setupWithPrototype;

 protected:
  AFXManagedAppResource() = default;

 private:
  // The store owns the app; a resource must not keep it alive.
  std::weak_ptr<AFXManagedModelObject> app_;
};
