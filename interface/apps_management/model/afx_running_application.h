#pragma once

// A running application as the service records it: a process whose
// executable lies inside an app bundle, with the bundle's names and
// versions as they were when the record was made. Records travel between
// processes, so everything read from the bundle is stored; what is derived
// for display is computed once on demand and not archived.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/launch_services.h"
#include "foundation/url.h"
#include "interface/apps_management/model/afx_file_reference_url.h"
#include "interface/apps_management/model/afx_korvia_bundle_id.h"
#include "interface/model/afx_base_model_object.h"

class AFXRunningApplication final : public AFXBaseModelObject {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // Reads the names and versions from the process's bundle.
  static std::shared_ptr<AFXRunningApplication> runningApplicationFromNSRunningApplication(
      const fnd::RunningApplication& application);

  const std::optional<std::string>& localizedName() const { return localizedName_; }
  const std::optional<std::string>& bundleIdentifier() const { return bundleIdentifier_; }
  const std::shared_ptr<fnd::URL>& bundleURL() const { return bundleURL_; }
  // "CFBundleShortVersionString".
  const std::optional<std::string>& version() const { return version_; }
  // "CFBundleVersion".
  const std::optional<std::string>& build() const { return build_; }
  std::int32_t processIdentifier() const { return processIdentifier_; }

  // "CFBundleName" of the bundle, else `localizedName`.
  std::optional<std::string> name() const;
  // The bundle's icon file; null when it names none that exists.
  std::shared_ptr<fnd::URL> icon() const;
  // Null when the bundle identifier is not one of the service's.
  std::shared_ptr<AFXKorviaBundleID> korviaBundleID() const;
  // A helper or teaser signs in under the name of the app it belongs to.
  std::optional<std::string> localizedNameForSignIn() const;
  // The icon of the app the bundle belongs to; null outside the service.
  std::shared_ptr<fnd::URL> iconForSignIn() const;

  const fnd::Class& objectClass() const override { return staticClass(); }
  // The same process running the same app.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXRunningApplication() = default;

  std::optional<std::string> localizedName_;
  std::optional<std::string> bundleIdentifier_;
  std::shared_ptr<fnd::URL> bundleURL_;
  std::optional<std::string> version_;
  std::optional<std::string> build_;
  std::int32_t processIdentifier_ = 0;

  // Derived values, each computed on first use.
  mutable std::optional<std::optional<std::string>> name_;
  mutable std::optional<std::shared_ptr<fnd::URL>> icon_;
  mutable std::optional<std::shared_ptr<AFXKorviaBundleID>> korviaBundleID_;
  mutable std::optional<std::optional<std::string>> localizedNameForSignIn_;
  mutable std::optional<std::shared_ptr<fnd::URL>> iconForSignIn_;
};

// The first running application whose bundle is the file `bundle` refers
// to, wherever it has moved; null when none runs.
std::shared_ptr<AFXRunningApplication> AFXRunningApplicationOfBundle(const AFXFileReferenceURL& bundle);
// The same for the bundle now at `bundleURL`; null when nothing is there.
std::shared_ptr<AFXRunningApplication> AFXRunningApplicationOfBundleAtURL(const fnd::URL& bundleURL);
