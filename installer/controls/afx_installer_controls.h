#pragma once

// Registers every control of the installer under its class name, so that
// interface resources can name them. Call once before loading a resource.
void AFXRegisterInstallerControlClasses();
