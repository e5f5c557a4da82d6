#pragma once

// The bus names under which the desktop client publishes its services.

#include <string_view>

inline constexpr std::string_view AFXSystemManagementServiceName = "com.korvia.SystemManagementService";
inline constexpr std::string_view AFXUIManagementServiceName = "com.korvia.UIManagementService";
inline constexpr std::string_view AFXAppsManagementServiceName = "com.korvia.AppsManagementService";
inline constexpr std::string_view AFXRemoteConfigurationServiceName = "com.korvia.RemoteConfigurationService";
inline constexpr std::string_view AFXRecommendationsServiceName = "com.korvia.RecommendationsService";
