#include "tools/qv_version_comparator.h"

#include <algorithm>
#include <cstddef>

namespace {

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// ASCII members of the Unicode punctuation categories. Symbols such as "+",
// "~" or "$" are not punctuation, so they type as strings.
bool isPunctuation(char c) {
  constexpr std::string_view kPunctuation = "!\"#%&'()*,-./:;?@[\\]_{}";
  return kPunctuation.find(c) != std::string_view::npos;
}

bool isWhiteSpaceOrLineBreak(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isWhiteSpaceOrLineBreak(text.front())) text.remove_prefix(1);
  while (!text.empty() && isWhiteSpaceOrLineBreak(text.back())) text.remove_suffix(1);
  return text;
}

std::string lowercased(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

// Length of the UTF-8 sequence starting at text[0], so a multi-byte letter is
// typed as one character. Malformed bytes count one each.
std::size_t characterLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text.front());
  std::size_t length = 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
  }
  if (length > text.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// Digit runs of any length: compared by magnitude without converting, so
// numbers beyond 64 bits keep their order.
NSComparisonResult compareDigitRuns(std::string_view a, std::string_view b) {
  auto stripZeros = [](std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
  };
  a = stripZeros(a);
  b = stripZeros(b);
  if (a.size() != b.size()) return a.size() < b.size() ? NSOrderedAscending : NSOrderedDescending;
  const int order = a.compare(b);
  if (order == 0) return NSOrderedSame;
  return order < 0 ? NSOrderedAscending : NSOrderedDescending;
}

// Between different types: string < separator < number < wildcard.
int rankOfType(QVVersionSegmentType type) {
  switch (type) {
    case QVVersionSegmentTypeString:
      return 0;
    case QVVersionSegmentTypeSeparator:
      return 1;
    case QVVersionSegmentTypeNumber:
      return 2;
    case QVVersionSegmentTypeWildcard:
      return 3;
  }
  return 0;
}

NSComparisonResult compareSegments(const std::string& a, const std::string& b) {
  const QVVersionSegmentType typeA = QVVersionComparator::typeOfCharacter(a);
  const QVVersionSegmentType typeB = QVVersionComparator::typeOfCharacter(b);
  if (typeA != typeB) return rankOfType(typeA) < rankOfType(typeB) ? NSOrderedAscending : NSOrderedDescending;
  if (typeA == QVVersionSegmentTypeNumber) return compareDigitRuns(a, b);
  if (typeA == QVVersionSegmentTypeString) {
    const int order = a.compare(b);
    if (order != 0) return order < 0 ? NSOrderedAscending : NSOrderedDescending;
  }
  return NSOrderedSame;
}

}  // namespace

QVVersionSegmentType QVVersionComparator::typeOfCharacter(std::string_view text) {
  if (text == ".") return QVVersionSegmentTypeSeparator;
  if (text == "*") return QVVersionSegmentTypeWildcard;
  if (std::any_of(text.begin(), text.end(), isDecimalDigit)) return QVVersionSegmentTypeNumber;
  if (std::any_of(text.begin(), text.end(), isPunctuation)) return QVVersionSegmentTypeSeparator;
  return QVVersionSegmentTypeString;
}

std::vector<std::string> QVVersionComparator::splitVersionString(std::string_view version) {
  std::string_view rest = trimmed(version);
  std::vector<std::string> segments;
  QVVersionSegmentType previousType = QVVersionSegmentTypeString;
  while (!rest.empty()) {
    const std::string_view character = rest.substr(0, characterLength(rest));
    rest.remove_prefix(character.size());
    const QVVersionSegmentType type = typeOfCharacter(character);
    if (segments.empty() || type != previousType || previousType == QVVersionSegmentTypeSeparator) {
      segments.emplace_back(character);
    } else {
      segments.back().append(character);
    }
    previousType = type;
  }
  return segments;
}

NSComparisonResult QVVersionComparator::compareVersion(std::string_view version, std::string_view otherVersion) {
  std::vector<std::string> segments = splitVersionString(lowercased(version));
  std::vector<std::string> otherSegments = splitVersionString(lowercased(otherVersion));
  const std::size_t length = std::max(segments.size(), otherSegments.size());
  // The shorter one reads as if it went on with ".0" pairs, so "1" equals
  // "1.0.0" and "1.0b" is lower than "1.0".
  std::vector<std::string>& shorter = segments.size() < otherSegments.size() ? segments : otherSegments;
  while (shorter.size() < length) {
    shorter.emplace_back(".");
    shorter.emplace_back("0");
  }
  for (std::size_t i = 0; i < length; ++i) {
    const NSComparisonResult order = compareSegments(segments[i], otherSegments[i]);
    if (order != NSOrderedSame) return order;
  }
  return NSOrderedSame;
}

NSComparisonResult qv_compareVersion(std::string_view self, std::string_view other) {
  return QVVersionComparator::compareVersion(self, other);
}
