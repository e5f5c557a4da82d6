#include "desktop_client/afx_reference_catalogue.h"

#include <fstream>
#include <sstream>

#include "foundation/array.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/json_serialization.h"

namespace {

bool isSafeBundleName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::optional<AFXReferenceCatalogueEntry> entryFrom(const fnd::Value& value) {
  auto document = value.as<fnd::Dictionary>();
  if (!document) return std::nullopt;
  AFXReferenceCatalogueEntry entry;
  const auto identifier = document->objectForKey("id").integerValue();
  const auto bundleName = document->objectForKey("bundle_name").stringValue();
  const auto archive = document->objectForKey("archive_url").stringValue();
  if (!identifier || !bundleName || !isSafeBundleName(*bundleName) || !archive) return std::nullopt;
  entry.identifier = *identifier;
  entry.bundleName = *bundleName;
  entry.archiveURL = fnd::URL::URLWithString(*archive);
  if (!entry.archiveURL) return std::nullopt;
  entry.name = document->objectForKey("name").stringValue().value_or(*bundleName);
  entry.bundleIdentifier = document->objectForKey("bundle_identifier").stringValue().value_or("");
  return entry;
}

}  // namespace

std::shared_ptr<AFXCodedApp> AFXReferenceCatalogueEntry::makeApp() const {
  auto app = AFXCodedApp::make();
  app->setIdentifier(identifier);
  app->setName(name);
  if (!bundleIdentifier.empty()) app->setBundleIdentifier(bundleIdentifier);
  return app;
}

fnd::Expected<AFXReferenceCatalogue> AFXReferenceCatalogue::readFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return fnd::Error(fnd::NSCocoaErrorDomain, 260, {{fnd::Value(fnd::NSFilePathErrorKey), fnd::Value(path)}});
  }
  std::stringstream text;
  text << in.rdbuf();
  return readFromJSON(text.str());
}

fnd::Expected<AFXReferenceCatalogue> AFXReferenceCatalogue::readFromJSON(std::string_view json) {
  auto document = fnd::JSONSerialization::JSONObjectWithData(json);
  if (!document) return document.error();
  AFXReferenceCatalogue catalogue;
  auto root = document->as<fnd::Dictionary>();
  auto apps = root ? root->objectForKey("apps").as<fnd::Array>() : nullptr;
  if (!apps) return catalogue;
  for (const auto& value : *apps) {
    if (auto entry = entryFrom(value)) catalogue.entries_.push_back(std::move(*entry));
  }
  return catalogue;
}

const AFXReferenceCatalogueEntry* AFXReferenceCatalogue::entryWithID(std::int64_t identifier) const {
  for (const auto& entry : entries_) {
    if (entry.identifier == identifier) return &entry;
  }
  return nullptr;
}
