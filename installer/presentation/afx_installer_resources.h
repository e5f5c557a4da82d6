#pragma once

// The installer's resources: its string table and named images, in the
// resources of its bundle (the main bundle unless a test names another).

#include <QImage>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/bundle.h"

// The featured app and this build.
inline constexpr std::int64_t AFXFeaturedAppID = 246;
inline constexpr std::string_view AFXFeaturedAppName = "Chronofold";
inline constexpr std::string_view AFXInstallerBuildTag = "install-chronofold";
inline constexpr std::string_view AFXFeaturedAppMinimumSystemVersion = "null";

std::shared_ptr<fnd::Bundle> AFXInstallerResourceBundle();
// Tests: another bundle (null restores the main bundle). Main thread only,
// before anything is loaded.
void AFXSetInstallerResourceBundle(std::shared_ptr<fnd::Bundle> bundle);

// The text for `key` in the default table "Localizable", "" when absent.
std::string AFXInstallerLocalizedString(std::string_view key);
// The same text used as a format with one "%@", filled with `argument`.
std::string AFXInstallerLocalizedFormat(std::string_view key, std::string_view argument);
QString AFXQString(std::string_view text);

// A named image ("App0", "KorviaIcon", …); a null image when there is none.
QImage AFXInstallerImageNamed(std::string_view name);
