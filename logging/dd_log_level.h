#pragma once

// Flags mark what a line is; levels are masks of the flags a logger admits.
// A logger admits a line when the line's flag AND the logger's level is not 0.

enum DDLogFlag : unsigned {
  DDLogFlagError = 1u << 0,
  DDLogFlagWarning = 1u << 1,
  DDLogFlagInfo = 1u << 2,
  DDLogFlagDebug = 1u << 3,
  DDLogFlagVerbose = 1u << 4,
};

enum DDLogLevel : unsigned {
  DDLogLevelOff = 0,
  DDLogLevelError = DDLogFlagError,
  DDLogLevelWarning = DDLogLevelError | DDLogFlagWarning,
  DDLogLevelInfo = DDLogLevelWarning | DDLogFlagInfo,
  DDLogLevelDebug = DDLogLevelInfo | DDLogFlagDebug,
  DDLogLevelVerbose = DDLogLevelDebug | DDLogFlagVerbose,
  DDLogLevelAll = ~0u,
};

// True when a logger at `level` takes a line flagged `flag`.
constexpr bool DDLogLevelAdmitsFlag(DDLogLevel level, DDLogFlag flag) {
  return (static_cast<unsigned>(level) & static_cast<unsigned>(flag)) != 0;
}
