#pragma once

// The desktop's workspace: handing a URL to the handler the user chose for
// it. The system default handler is `xdg-open`; the environment variable
// KORVIA_OPEN_COMMAND names another program (a path or a name looked up on
// PATH) that is run the same way, with the URL as its only argument, which is
// how tests see what would have been opened. A URL opened with a given
// application goes to that bundle's executable, again as its only argument;
// the application itself hands it on to an instance already running.

#include <memory>
#include <string>
#include <string_view>

#include "foundation/expected.h"
#include "foundation/process.h"
#include "foundation/url.h"

namespace fnd {

inline constexpr std::string_view kWorkspaceOpenCommandVariable = "KORVIA_OPEN_COMMAND";

class Workspace {
 public:
  static Workspace& sharedWorkspace();

  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // Starts the handler for the URL and returns without waiting for it; true
  // when the handler could be started. The handler is reaped when it exits.
  [[nodiscard]] bool openURL(const URL& url);

  // The handler program: $KORVIA_OPEN_COMMAND when set and not empty, else
  // "xdg-open".
  static std::string openCommand();
  // Starts the handler for the URL; the caller decides whether to wait.
  static Expected<std::shared_ptr<Process>> launchOpenerForURL(const URL& url);

  // Opens the URL with the application bundle at `applicationURL`, without
  // waiting for it; true when its executable could be started.
  [[nodiscard]] bool openURL(const URL& url, const URL& applicationURL);
  // Starts the application's executable with the URL. Fails with
  // kLSApplicationNotFoundErr in NSOSStatusErrorDomain when there is no
  // bundle with an executable at `applicationURL`.
  static Expected<std::shared_ptr<Process>> launchApplicationAtURLForURL(const URL& applicationURL, const URL& url);

  // The copy of the app Launch Services lists first; null when there is none.
  std::shared_ptr<URL> URLForApplicationWithBundleIdentifier(std::string_view bundleIdentifier) const;

 private:
  Workspace() = default;
};

}  // namespace fnd
