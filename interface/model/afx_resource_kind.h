#pragma once

// The kinds of downloadable resources. Every concrete resource class has one;
// download metrics are reported under the kind's statistics identifier.

#include <cstdint>
#include <optional>
#include <string>

using AFXResourceKind = std::int64_t;
inline constexpr AFXResourceKind AFXResourceKindUndefined = 0;
inline constexpr AFXResourceKind AFXResourceKindScreenshot = 1;
inline constexpr AFXResourceKind AFXResourceKindTeaserAppInstall = 2;
inline constexpr AFXResourceKind AFXResourceKindTeaserAppUpdate = 3;
inline constexpr AFXResourceKind AFXResourceKindVendorAppInstall = 4;
inline constexpr AFXResourceKind AFXResourceKindVendorAppUpdate = 5;
inline constexpr AFXResourceKind AFXResourceKindInternalAppUpdate = 6;
inline constexpr AFXResourceKind AFXResourceKindAppIcon = 7;

// "screenshot", "teaser_app", ...; nothing for kind 0 and unknown kinds.
std::optional<std::string> AFXResourceKindGetStatsdID(AFXResourceKind kind);
// "undefined", "screenshot", "teaserAppInstall", ...; nothing for unknown kinds.
std::optional<std::string> AFXResourceKindGetDescription(AFXResourceKind kind);

// Download priorities: background, normal (the default) and the highest.
using AFXResourceDownloadPriority = std::uint64_t;
inline constexpr AFXResourceDownloadPriority AFXResourceDownloadPriorityLow = 0;
inline constexpr AFXResourceDownloadPriority AFXResourceDownloadPriorityDefault = 1;
inline constexpr AFXResourceDownloadPriority AFXResourceDownloadPriorityHigh = 2;
