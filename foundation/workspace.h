#pragma once

// The desktop's workspace: handing a URL to the handler the user chose for
// it. The system default handler is `xdg-open`; the environment variable
// KORVIA_OPEN_COMMAND names another program (a path or a name looked up on
// PATH) that is run the same way, with the URL as its only argument, which is
// how tests see what would have been opened.

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

 private:
  Workspace() = default;
};

}  // namespace fnd
