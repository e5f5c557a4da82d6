// korvia-unpack ARCHIVE DEST: unpacks a zip archive or disk image the way the
// placement does, moves the app bundle it holds into DEST (in place of an
// item of the same name there) and prints the bundle's new path. Progress
// fractions go to standard error, one a line.
//
// Exit status: 0 on success, 1 when unpacking or moving fails, 2 for wrong
// usage.

#include <cstdio>
#include <string>

#include "foundation/file_manager.h"
#include "foundation/url.h"
#include "interface/placement/afx_unpack.h"
#include "logging/dd_log.h"
#include "logging/dd_tty_logger.h"
#include "tools/unarchiver/qv_unarchiver.h"

namespace {

// The folder the unarchiver made for this run: the first component below
// the temporary folder on the way to the app.
std::string extractionFolderOf(const fnd::URL& app) {
  const std::string temporary = fnd::FileManager::defaultManager().temporaryDirectory()->path();
  const std::string path = app.path();
  if (!path.starts_with(temporary + "/")) return "";
  const auto end = path.find('/', temporary.size() + 1);
  return path.substr(0, end);
}

int fail(const fnd::Error& error) {
  std::fprintf(stderr, "korvia-unpack: %s\n", error.localizedDescription().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: korvia-unpack ARCHIVE DEST\n");
    return 2;
  }
  // The unarchiver's own error is only logged; show it.
  DDLog::addLogger(DDTTYLogger::sharedInstance());
  const auto archive = fnd::URL::fileURLWithPath(argv[1]);
  const auto destination = fnd::URL::fileURLWithPath(argv[2], true);

  auto app = AFXUnpack(archive, [](double fraction) { std::fprintf(stderr, "%.4f\n", fraction); });
  DDLog::flushLog();
  if (!app) return fail(app.error());

  const std::string extracted = extractionFolderOf(**app);
  const auto target = destination->URLByAppendingPathComponent((*app)->lastPathComponent(), true);
  auto checked = QVUnarchiver::_checkDestinationFolder(*destination);
  // In one exchange, as the unarchiver moves items: the destination holds
  // the old bundle or the new one, never neither.
  auto moved = checked ? fnd::FileManager::defaultManager().replaceItemAtURL(*target, **app, std::nullopt,
                                                                             {.usingNewMetadataOnly = true})
                       : fnd::Expected<std::shared_ptr<fnd::URL>>(checked.error());
  if (!extracted.empty()) (void)fnd::FileManager::defaultManager().removeItemAtPath(extracted);
  if (!moved) return fail(moved.error());

  std::printf("%s\n", target->path().c_str());
  return 0;
}
