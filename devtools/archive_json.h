#pragma once

// The "archive JSON" form of decoded archives: plain JSON for strings,
// numbers, null, arrays and string-keyed dictionaries (keys sorted), and
// one-key objects for the rest ({"$data": base64}, {"$date": seconds since
// 2001}, {"$uuid": text}, {"$url": text}, {"$set": [...]}, {"$dict": [[k, v]]},
// {"$error": {...}}, {"$cycle": class}), so archives can be read and written
// as text.

#include <string>

#include "foundation/expected.h"
#include "foundation/value.h"

namespace korvia::devtools {

// One JSON document. A model object prints as {"$object": class name,
// "properties": {...}} from its declared properties.
fnd::Expected<std::string> archiveJSONFromValue(const fnd::Value& value);

// The values an archive JSON document stands for.
fnd::Expected<fnd::Value> valueFromArchiveJSON(std::string_view text);

}  // namespace korvia::devtools
