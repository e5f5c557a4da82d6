#pragma once

// User-facing texts of the interface library. The English text is the key of
// the string table "Localizable" of the library's resource bundle, and the
// fallback whenever the table has no text for it.
//
// The resource bundle, "KorviaInterface.bundle" (Contents/Resources/
// Localizable.strings), is installed in the folder of the binary that carries
// the library: the program itself for the static library, or the shared
// object. $KORVIA_INTERFACE_BUNDLE, when set and not empty, names another
// bundle folder (tests, relocated installs). The bundle is located once, on
// first use; without one every text is its own key.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/bundle.h"

inline constexpr std::string_view AFXKorviaInterfaceBundleName = "KorviaInterface.bundle";
inline constexpr std::string_view AFXKorviaInterfaceBundleVariable = "KORVIA_INTERFACE_BUNDLE";

// The table's text for `text`, or `text` itself. `comment` tells translators
// where the text appears; it takes no part in the lookup.
std::string AFXKorviaInterfaceLocalizedString(std::string_view text, std::string_view comment);

// The library's resource bundle; null when there is none.
const std::shared_ptr<fnd::Bundle>& AFXKorviaInterfaceBundle();

namespace afx_localized_string_detail {

// The file of the binary this library is linked into.
std::string libraryBinaryPath();

// The bundle folder: the override when set and not empty, else the bundle
// beside `libraryPath` when that folder exists.
std::optional<std::string> locateBundle(const char* overridePath, const std::string& libraryPath);

}  // namespace afx_localized_string_detail
