#pragma once

// Call-site logging: level verbose, context 0, no tag, and the caller's file,
// function and line. Errors are delivered before the statement completes; the
// other lines are queued.

#include "logging/dd_log.h"

#define DD_LOG_AT(asynchronous, flag, format, ...)                                                         \
  ::DDLog::log((asynchronous), DDLogLevelVerbose, (flag), 0L, __FILE__, __PRETTY_FUNCTION__, __LINE__, \
               ::fnd::Value(), format __VA_OPT__(, ) __VA_ARGS__)

#define DDLogError(format, ...) DD_LOG_AT(false, DDLogFlagError, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogWarn(format, ...) DD_LOG_AT(true, DDLogFlagWarning, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogInfo(format, ...) DD_LOG_AT(true, DDLogFlagInfo, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogDebug(format, ...) DD_LOG_AT(true, DDLogFlagDebug, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogVerbose(format, ...) DD_LOG_AT(true, DDLogFlagVerbose, format __VA_OPT__(, ) __VA_ARGS__)
