#include "interface/placement/afx_unpack.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "foundation/check.h"
#include "foundation/file_manager.h"
#include "interface/errors/afx_errors.h"
#include "logging/dd_log_macros.h"
#include "tools/unarchiver/qv_unarchiver.h"

namespace {

bool isAppBundle(const fnd::URL& url) {
  std::string extension = url.pathExtension();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (extension != "app") return false;
  // A bundle is a folder; a link named like one is not the app.
  auto attributes = fnd::FileManager::defaultManager().attributesOfItemAtPath(url.path());
  return attributes && attributes->type == fnd::FileType::directory;
}

std::shared_ptr<fnd::URL> firstAppBundle(const fnd::URL& folder) {
  auto enumerator = fnd::FileManager::defaultManager().enumeratorAtURL(folder, {.skipsHiddenFiles = true});
  while (auto item = enumerator.nextObject()) {
    if (isAppBundle(*item)) return item;
  }
  return nullptr;
}

}  // namespace

fnd::Expected<std::shared_ptr<fnd::URL>> AFXUnpack(const std::shared_ptr<fnd::URL>& archiveURL,
                                                   const std::function<void(double)>& progressHandler) {
  FND_PARAMETER_ASSERT(archiveURL != nullptr);
  FND_PARAMETER_ASSERT(progressHandler != nullptr);
  std::shared_ptr<fnd::URL> folder;
  std::optional<fnd::Error> error;
  QVUnarchiver::unpackArchiveAtURL(archiveURL, nullptr, false, progressHandler,
                                   [&](std::shared_ptr<fnd::URL> result, std::optional<fnd::Error> failure) {
                                     folder = std::move(result);
                                     error = std::move(failure);
                                   });
  if (error) {
    DDLogError("Unpack error for archive at %@ (%@)", archiveURL, *error);
    return afx_didFailToUnpackApp();
  }
  // Without a destination the unarchiver yields a folder or an error.
  if (!folder) FND_NOT_REACHED();
  if (auto app = firstAppBundle(*folder)) return app;
  return afx_didFailToUnpackApp();
}
