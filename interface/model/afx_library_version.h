#pragma once

// The version of this library as the service's back ends see it: the web
// pages' query, the agents' version check, metric names and analytics events
// all carry it.

#include <string_view>

inline constexpr std::string_view AFXLibraryVersion = "1.9.8";
