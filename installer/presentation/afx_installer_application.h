#pragma once

// The application object's part in quitting: every request to terminate
// (menu, window close, stop button, recoveries) asks the application
// delegate first; only its "now" ends the event loop, once.

#include <cstdint>
#include <functional>

class AFXInstallerAppDelegate;

// The platform's termination replies.
using NSApplicationTerminateReply = std::uint64_t;
inline constexpr NSApplicationTerminateReply NSTerminateCancel = 0;
inline constexpr NSApplicationTerminateReply NSTerminateNow = 1;

// Main thread only. A null delegate lets every request end the application.
void AFXSetApplicationDelegate(AFXInstallerAppDelegate* delegate);
// Asks the delegate; ends the application when it answers now.
void AFXTerminateApplication();
// What ending the application does (quitting the Qt event loop unless a
// test says otherwise); reset by AFXResetApplicationTermination.
void AFXSetTerminateNowHandler(std::function<void()> handler);
void AFXResetApplicationTermination();
