#pragma once

// Registers every view class the installer's interface resources name (the
// presentation's and the controls'), so they can be loaded. Call once,
// before the first window is made.
void AFXRegisterInstallerPresentationClasses();
