#pragma once

// Orders version texts such as "10.15.7" and "1.2b3": a text is cut into
// numbers, letter runs, separators and wildcards, and the segments are
// compared pairwise.

#include <string>
#include <string_view>
#include <vector>

// The usual three-way order: ascending means the first operand is lower.
enum NSComparisonResult : long {
  NSOrderedAscending = -1,
  NSOrderedSame = 0,
  NSOrderedDescending = 1,
};

enum QVVersionSegmentType : int {
  QVVersionSegmentTypeNumber = 0,
  QVVersionSegmentTypeString = 1,
  QVVersionSegmentTypeSeparator = 2,
  QVVersionSegmentTypeWildcard = 3,
};

class QVVersionComparator {
 public:
  QVVersionComparator() = delete;

  // The type of one character or of a whole segment: exactly "." is a
  // separator, exactly "*" a wildcard, anything holding a decimal digit a
  // number, anything holding punctuation a separator, the rest a string.
  static QVVersionSegmentType typeOfCharacter(std::string_view text);

  // The segments of the trimmed text, in order: runs of one type form a
  // segment, and every separator character stands alone.
  static std::vector<std::string> splitVersionString(std::string_view version);

  // Case-insensitive; "1.0" and "1" are the same, "1.0b2" is lower than "1.0".
  static NSComparisonResult compareVersion(std::string_view version, std::string_view otherVersion);
};

// The text-side shortcut: compares `self` with `other`.
NSComparisonResult qv_compareVersion(std::string_view self, std::string_view other);
