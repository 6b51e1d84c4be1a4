#include "device/value_conversions.h"

#include <cstring>

#include "platform/log_categories.h"

namespace amd {

using nimbara::PlistValue;

namespace {

std::string untilNul(const std::string& text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

}  // namespace

std::string cfStringToStdString(const PlistValue& value) {
    if (!value.isString()) {
        qCWarning(lcDevice, "* CFStringGetCString");
        return {};
    }
    return untilNul(value.toString());
}

std::string cfTypeToStdString(const PlistValue* value) {
    if (!value || value->isNull()) {
        return {};
    }
    if (value->isString()) {
        return cfStringToStdString(*value);
    }
    return value->description();
}

std::string cfTypeToStdString(const PlistValue& value) {
    return cfTypeToStdString(&value);
}

std::string cfTypeToStdString(const std::optional<PlistValue>& value) {
    return cfTypeToStdString(value ? &*value : nullptr);
}

std::int64_t cfNumberToInt64(const PlistValue* value) {
    if (!value || !value->isNumber()) {
        return 0;
    }
    return value->toInt64(0);
}

std::int64_t cfNumberToInt64(const PlistValue& value) {
    return cfNumberToInt64(&value);
}

std::int64_t cfNumberToInt64(const std::optional<PlistValue>& value) {
    return cfNumberToInt64(value ? &*value : nullptr);
}

PlistValue stdStringToCFString(const std::string& text) {
    return PlistValue(untilNul(text));
}

PlistValue int64ToCFNumber(std::int64_t number) {
    return PlistValue(number);
}

PlistValue floatToCFNumber(float number) {
    return PlistValue(static_cast<double>(number));
}

ValueMap cfDictionaryToMap(const PlistValue* value) {
    ValueMap out;
    if (!value || !value->isDict()) {
        return out;
    }
    for (const auto& [key, element] : value->toDict()) {
        out.emplace(untilNul(key), element);  // emplace keeps an earlier equal key
    }
    return out;
}

ValueMap cfDictionaryToMap(const PlistValue& value) {
    return cfDictionaryToMap(&value);
}

ValueVector cfArrayToVector(const PlistValue* value) {
    if (!value || !value->isArray()) {
        return {};
    }
    return value->toArray();
}

ValueVector cfArrayToVector(const PlistValue& value) {
    return cfArrayToVector(&value);
}

PlistValue mapToCFDictionary(const ValueMap& map) {
    PlistValue out = PlistValue::dict();
    for (const auto& [key, element] : map) {
        out.set(key, element);
    }
    return out;
}

PlistValue vectorToCFArray(const ValueVector& vector) {
    return PlistValue(PlistValue::Array(vector));
}

std::string uuidBytesToString(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (bytes.size() != 16) {
        return {};
    }
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out.push_back('-');
        }
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

}  // namespace amd
