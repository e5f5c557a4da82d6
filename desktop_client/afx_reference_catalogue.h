#pragma once

// What the reference desktop client knows of the store: the apps of a
// catalogue file in its state folder, written by whoever sets the machine
// up. The file is JSON:
//
//   {"apps": [{"id": 246, "name": "Chronofold", "bundle_identifier": "com.chronofold.app",
//              "bundle_name": "Chronofold.app", "archive_url": "https://host/apps/Chronofold.zip"}]}
//
// Entries that lack an identifier, a bundle name or an archive URL, or whose
// bundle name could leave the applications folder, are skipped.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/expected.h"
#include "foundation/url.h"
#include "interface/model/afx_app.h"

struct AFXReferenceCatalogueEntry {
  std::int64_t identifier = 0;
  std::string name;
  std::string bundleIdentifier;
  std::string bundleName;
  std::shared_ptr<fnd::URL> archiveURL;

  std::shared_ptr<AFXCodedApp> makeApp() const;
};

class AFXReferenceCatalogue {
 public:
  // Fails with the JSON reader's error, or the file's.
  [[nodiscard]] static fnd::Expected<AFXReferenceCatalogue> readFromFile(const std::string& path);
  [[nodiscard]] static fnd::Expected<AFXReferenceCatalogue> readFromJSON(std::string_view json);

  const std::vector<AFXReferenceCatalogueEntry>& entries() const { return entries_; }
  const AFXReferenceCatalogueEntry* entryWithID(std::int64_t identifier) const;

 private:
  std::vector<AFXReferenceCatalogueEntry> entries_;
};
