#pragma once

// Reads typed values out of a deserialised JSON object by key or dotted key
// path and keeps the first failure. A reader reads every field it needs
// without checking each result, then looks at `lastError` once.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "foundation/array.h"
#include "foundation/class.h"
#include "foundation/date.h"
#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "foundation/url.h"
#include "foundation/value.h"

inline constexpr std::string_view QVJSONParserErrorDomain = "com.quorvex.QVJSONParserErrorDomain";

// A required value is absent.
inline constexpr std::int64_t QVJSONParserMissingValueErrorCode = -1000;
// A required value has another type (JSON null included).
inline constexpr std::int64_t QVJSONParserIncorrectTypeErrorCode = -1001;

// The errors the parser records, with the key (for a key path, the component
// being read) in their localized description.
fnd::Error QVJSONParserMissingValueError(std::string_view key);
fnd::Error QVJSONParserIncorrectTypeError(std::string_view key);

class QVJSONParser {
 public:
  // Null when `json` is null.
  static std::shared_ptr<QVJSONParser> initWithJSON(std::shared_ptr<fnd::Dictionary> json);

  // The value at `keyPath` in `json` if it is of `cls`, else nil; records
  // nothing anywhere.
  static fnd::Value validatedObjectFromJSON(const std::shared_ptr<fnd::Dictionary>& json, std::string_view keyPath,
                                            const fnd::Class& cls);

  QVJSONParser(const QVJSONParser&) = delete;
  QVJSONParser& operator=(const QVJSONParser&) = delete;

  const std::shared_ptr<fnd::Dictionary>& jsonDict() const { return jsonDict_; }
  // The first failure; never replaced once set. Every read after it yields
  // nothing.
  const std::optional<fnd::Error>& lastError() const { return lastError_; }

  // The value under the key if it is of that kind, else null with the error
  // recorded. Booleans are numbers.
  std::shared_ptr<fnd::Number> numberForKey(std::string_view key);
  std::shared_ptr<fnd::String> stringForKey(std::string_view key);
  std::shared_ptr<fnd::Dictionary> dictionaryForKey(std::string_view key);
  std::shared_ptr<fnd::Array> arrayForKey(std::string_view key);

  // The number under the key converted as numbers convert: reals are
  // truncated toward zero, values outside the type's range are clamped to it
  // (a negative number reads as 0 unsigned). 0 when missing or mistyped.
  double doubleForKey(std::string_view key);
  std::int64_t integerForKey(std::string_view key);
  std::uint64_t unsignedIntegerForKey(std::string_view key);

  // Null when the text is missing or mistyped (error recorded) or is not a
  // valid URL (nothing recorded).
  std::shared_ptr<fnd::URL> URLForKey(std::string_view key);
  std::shared_ptr<fnd::URL> URLForKeyPath(std::string_view keyPath);

  // A date from a number of seconds since 1970-01-01 00:00:00 UTC.
  std::shared_ptr<fnd::Date> unixtimeBasedDateForKey(std::string_view key);
  std::shared_ptr<fnd::Date> unixtimeBasedDateForKeyPath(std::string_view keyPath);

  std::shared_ptr<fnd::Number> numberForKeyPath(std::string_view keyPath);
  std::shared_ptr<fnd::String> stringForKeyPath(std::string_view keyPath);

  // The value at the dotted path if it is of `cls`, else nil with the error
  // recorded. When `isOptional`, a missing or mistyped value yields nil and
  // records nothing.
  fnd::Value objectForKeyPath(std::string_view keyPath, const fnd::Class& cls, bool isOptional = false);

 private:
  explicit QVJSONParser(std::shared_ptr<fnd::Dictionary> json) : jsonDict_(std::move(json)) {}

  fnd::Value validatedObject(const fnd::Value& value, std::string_view key, const fnd::Class& cls, bool isOptional);
  void recordError(fnd::Error error);

  std::shared_ptr<fnd::Dictionary> jsonDict_;
  std::optional<fnd::Error> lastError_;
};
