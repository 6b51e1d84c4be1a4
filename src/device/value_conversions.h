// Conversions between the library's property-list values and plain text, 64-bit numbers, maps
// and vectors. A "null" argument is either a null pointer or a value of type Null.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/plist_value.h"

namespace amd {

using ValueMap = std::map<std::string, nimbara::PlistValue>;
using ValueVector = std::vector<nimbara::PlistValue>;

// Text value → UTF-8 text, ending at the first NUL. A value that is not text prints
// "* CFStringGetCString" and gives empty text.
std::string cfStringToStdString(const nimbara::PlistValue& value);

// Null → empty text; text as above; anything else its description ("42", "true", ...).
std::string cfTypeToStdString(const nimbara::PlistValue* value);
std::string cfTypeToStdString(const nimbara::PlistValue& value);
std::string cfTypeToStdString(const std::optional<nimbara::PlistValue>& value);

// A number as a signed 64-bit integer (reals truncated); null or any other type gives 0.
std::int64_t cfNumberToInt64(const nimbara::PlistValue* value);
std::int64_t cfNumberToInt64(const nimbara::PlistValue& value);
std::int64_t cfNumberToInt64(const std::optional<nimbara::PlistValue>& value);

// UTF-8 text → text value (ending at the first NUL, as a C string would).
nimbara::PlistValue stdStringToCFString(const std::string& text);
nimbara::PlistValue int64ToCFNumber(std::int64_t number);
// Keeps single precision: the value read back is the float's value.
nimbara::PlistValue floatToCFNumber(float number);

// Dictionary → map (keys through cfStringToStdString; where two keys become equal, the first in
// key order is kept). Null or a non-dictionary gives an empty map.
ValueMap cfDictionaryToMap(const nimbara::PlistValue* value);
ValueMap cfDictionaryToMap(const nimbara::PlistValue& value);
// Array → vector in order. Null or a non-array gives an empty vector.
ValueVector cfArrayToVector(const nimbara::PlistValue* value);
ValueVector cfArrayToVector(const nimbara::PlistValue& value);

nimbara::PlistValue mapToCFDictionary(const ValueMap& map);
nimbara::PlistValue vectorToCFArray(const ValueVector& vector);

// 16 bytes → "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in upper case. Any other length gives empty
// text.
std::string uuidBytesToString(std::span<const std::uint8_t> bytes);

}  // namespace amd
