#pragma once

// The download quarantine mark ("com.apple.quarantine", stored as
// "user.com.apple.quarantine") keeps a downloaded app from starting
// unchecked; a placed app that has passed its checks loses it.

#include <string_view>

// Removes the mark from the item and everything below it, hidden items and
// package contents included, without following links. Best effort: the
// result is always true, and callers go on whatever happened.
bool AFXRemoveFromQuarantine(std::string_view bundlePath);
