#include "interface/placement/afx_quarantine.h"

#include <string>

#include "foundation/extended_attributes.h"
#include "foundation/file_manager.h"
#include "foundation/url.h"

namespace {

constexpr std::string_view kQuarantineAttribute = "com.apple.quarantine";

void removeMark(const std::string& path) {
  // Absent marks, links and file systems without attributes are all fine.
  (void)fnd::ExtendedAttributes::remove(path, kQuarantineAttribute, {.noFollow = true});
}

}  // namespace

bool AFXRemoveFromQuarantine(std::string_view bundlePath) {
  const std::string root(bundlePath);
  removeMark(root);
  auto attributes = fnd::FileManager::defaultManager().attributesOfItemAtPath(root);
  if (!attributes || attributes->type != fnd::FileType::directory) return true;
  auto enumerator = fnd::FileManager::defaultManager().enumeratorAtURL(
      *fnd::URL::fileURLWithPath(root, true), {}, [](const fnd::URL&, const fnd::Error&) { return true; });
  while (auto item = enumerator.nextObject()) removeMark(item->path());
  return true;
}
