#include "backup/carver/sqlite_record.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

namespace nimbara::backup::carver {

std::uint32_t readBig16(Bytes bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 8) | bytes[at + 1];
}

std::uint32_t readBig32(Bytes bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

Varint readVarint(Bytes bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 9; ++i) {
        if (at >= bytes.size() || i >= bytes.size() - at) {
            return {};
        }
        const std::uint8_t byte = bytes[at + i];
        if (i == 8) {
            return {(value << 8) | byte, 9};
        }
        value = (value << 7) | (byte & 0x7f);
        if ((byte & 0x80) == 0) {
            return {value, i + 1};
        }
    }
    return {};
}

std::size_t varintLength(std::uint64_t value) {
    if (value > (std::uint64_t{1} << 56) - 1) {
        return 9;
    }
    std::size_t length = 1;
    while (value > 0x7f) {
        value >>= 7;
        ++length;
    }
    return length;
}

std::optional<std::uint64_t> serialTypeLength(std::uint64_t type) {
    static constexpr std::uint64_t kFixed[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0};
    if (type < 10) {
        return kFixed[type];
    }
    if (type < 12) {
        return std::nullopt;
    }
    return (type - 12) / 2;  // blobs (even) and texts (odd, (type - 13) / 2) alike
}

Affinity affinityOf(std::string_view declaredType) {
    std::string upper(declaredType);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    const auto has = [&](const char* part) { return upper.find(part) != std::string::npos; };
    if (has("INT")) {
        return Affinity::Integer;
    }
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
        return Affinity::Text;
    }
    if (has("BLOB") || upper.empty()) {
        return Affinity::Blob;
    }
    if (has("REAL") || has("FLOA") || has("DOUB")) {
        return Affinity::Real;
    }
    return Affinity::Numeric;
}

bool serialTypeFits(Affinity affinity, bool rowidAlias, std::uint64_t type) {
    if (rowidAlias) {
        return type == 0;
    }
    if (type == 10 || type == 11) {
        return false;
    }
    const bool number = type <= 9;
    const bool text = type >= 13 && (type & 1) == 1;
    switch (affinity) {
        case Affinity::Integer:
        case Affinity::Real:
            return number;
        case Affinity::Text:
            return type == 0 || text;
        case Affinity::Numeric:
            return number || text;
        case Affinity::Blob:
            return true;
    }
    return false;
}

namespace {

std::int64_t signedBig(Bytes content) {
    std::uint64_t value = (content[0] & 0x80) ? ~std::uint64_t{0} : 0;
    for (const std::uint8_t byte : content) {
        value = (value << 8) | byte;
    }
    return static_cast<std::int64_t>(value);
}

bool allowedCodePoint(std::uint32_t c) {
    if (c < 0x20) {
        return c == '\t' || c == '\n' || c == '\r';
    }
    return c <= 0x10ffff && !(c >= 0xd800 && c <= 0xdfff);
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

bool validUtf8(Bytes text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::uint8_t lead = text[i];
        std::size_t extra = 0;
        std::uint32_t c = 0;
        std::uint32_t least = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xe0) == 0xc0) {
            extra = 1, c = lead & 0x1f, least = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            extra = 2, c = lead & 0x0f, least = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            extra = 3, c = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (extra >= text.size() - i) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const std::uint8_t next = text[i + k];
            if ((next & 0xc0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3f);
        }
        if (c < least || !allowedCodePoint(c)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::optional<std::string> utf16ToUtf8(Bytes text, bool bigEndian) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        return bigEndian ? (std::uint32_t{text[i]} << 8) | text[i + 1]
                         : (std::uint32_t{text[i + 1]} << 8) | text[i];
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xd800 && c <= 0xdbff) {
            if (i + 4 > text.size()) {
                return std::nullopt;
            }
            const std::uint32_t low = unit(i + 2);
            if (low < 0xdc00 || low > 0xdfff) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
            i += 2;
        }
        if (!allowedCodePoint(c)) {
            return std::nullopt;
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace

std::optional<Value> decodeValue(std::uint64_t type, Bytes content, Affinity affinity,
                                 TextEncoding encoding) {
    Value value;
    if (type == 0) {
        return value;
    }
    if (type <= 6 || type == 8 || type == 9) {
        value.kind = Value::Kind::Integer;
        value.integer = type == 8 ? 0 : type == 9 ? 1 : signedBig(content);
        if (affinity == Affinity::Real) {
            value.kind = Value::Kind::Real;
            value.real = static_cast<double>(value.integer);
        }
        return value;
    }
    if (type == 7) {
        std::uint64_t bits = 0;
        for (const std::uint8_t byte : content) {
            bits = (bits << 8) | byte;
        }
        value.kind = Value::Kind::Real;
        value.real = std::bit_cast<double>(bits);
        return value;
    }
    if ((type & 1) == 0) {
        value.kind = Value::Kind::Blob;
        value.bytes.assign(content.begin(), content.end());
        return value;
    }
    value.kind = Value::Kind::Text;
    if (encoding == TextEncoding::Utf8) {
        if (!validUtf8(content)) {
            return std::nullopt;
        }
        value.bytes.assign(content.begin(), content.end());
        return value;
    }
    std::optional<std::string> text = utf16ToUtf8(content, encoding == TextEncoding::Utf16be);
    if (!text) {
        return std::nullopt;
    }
    value.bytes = std::move(*text);
    return value;
}

namespace {

// An integral real within the range of integers compares, and hashes, as that integer.
std::optional<std::int64_t> integralNumber(const Value& value) {
    if (value.kind == Value::Kind::Integer) {
        return value.integer;
    }
    if (value.kind == Value::Kind::Real && std::isfinite(value.real) &&
        value.real == std::trunc(value.real) && value.real >= -9.2e18 && value.real <= 9.2e18) {
        return static_cast<std::int64_t>(value.real);
    }
    return std::nullopt;
}

}  // namespace

bool sameValue(const Value& a, const Value& b) {
    const bool aNumber = a.kind == Value::Kind::Integer || a.kind == Value::Kind::Real;
    const bool bNumber = b.kind == Value::Kind::Integer || b.kind == Value::Kind::Real;
    if (aNumber && bNumber) {
        const std::optional<std::int64_t> ai = integralNumber(a);
        const std::optional<std::int64_t> bi = integralNumber(b);
        if (ai || bi) {
            return ai == bi;
        }
        return std::memcmp(&a.real, &b.real, sizeof(double)) == 0 || a.real == b.real;
    }
    return a.kind == b.kind && a.bytes == b.bytes;
}

std::uint64_t valueHash(const Value& value) {
    if (const std::optional<std::int64_t> number = integralNumber(value)) {
        return std::hash<std::int64_t>{}(*number) * 31 + 1;
    }
    switch (value.kind) {
        case Value::Kind::Null:
            return 7;
        case Value::Kind::Real:
            return std::hash<double>{}(value.real) * 31 + 2;
        case Value::Kind::Text:
            return std::hash<std::string>{}(value.bytes) * 31 + 3;
        case Value::Kind::Blob:
            return std::hash<std::string>{}(value.bytes) * 31 + 4;
        case Value::Kind::Integer:
            break;
    }
    return 0;
}

namespace {

bool addType(SerialTypes& out, std::uint64_t type, std::uint64_t maxBody,
             const TypeFilter& filter) {
    if (filter && !filter(out.types.size(), type)) {
        return false;
    }
    const std::optional<std::uint64_t> length = serialTypeLength(type);
    if (!length || *length > maxBody || out.bodyLength > maxBody - *length) {
        return false;
    }
    out.types.push_back(type);
    out.bodyLength += *length;
    return true;
}

}  // namespace

std::optional<SerialTypes> readTypesUntil(Bytes bytes, std::size_t at, std::size_t end,
                                          std::size_t maxTypes, std::uint64_t maxBody,
                                          const TypeFilter& filter) {
    if (end > bytes.size() || at > end) {
        return std::nullopt;
    }
    SerialTypes out;
    const Bytes header = bytes.first(end);
    while (at < end) {
        if (out.types.size() >= maxTypes) {
            return std::nullopt;
        }
        const Varint type = readVarint(header, at);
        if (type.length == 0 || !addType(out, type.value, maxBody, filter)) {
            return std::nullopt;
        }
        at += type.length;
    }
    out.end = at;
    return out;
}

std::optional<SerialTypes> readTypeCount(Bytes bytes, std::size_t at, std::size_t count,
                                         std::uint64_t maxBody, const TypeFilter& filter) {
    SerialTypes out;
    out.types.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Varint type = readVarint(bytes, at);
        if (type.length == 0 || !addType(out, type.value, maxBody, filter)) {
            return std::nullopt;
        }
        at += type.length;
    }
    out.end = at;
    return out;
}

std::optional<std::vector<std::optional<Value>>> decodeRecord(
    Bytes payload, const std::vector<Affinity>& affinities, TextEncoding encoding,
    std::size_t* within) {
    const Varint headerLength = readVarint(payload, 0);
    if (headerLength.length == 0 || headerLength.value > payload.size() ||
        headerLength.value < headerLength.length) {
        return std::nullopt;
    }
    const std::optional<SerialTypes> types = readTypesUntil(
        payload, headerLength.length, headerLength.value, payload.size(), std::uint64_t{1} << 48);
    if (!types) {
        return std::nullopt;
    }
    std::vector<std::optional<Value>> values;
    values.reserve(types->types.size());
    if (within != nullptr) {
        *within = 0;
    }
    std::uint64_t at = headerLength.value;
    for (std::size_t i = 0; i < types->types.size(); ++i) {
        const std::uint64_t type = types->types[i];
        const std::uint64_t length = *serialTypeLength(type);
        const Affinity affinity = i < affinities.size() ? affinities[i] : Affinity::Blob;
        if (at + length <= payload.size()) {
            values.push_back(decodeValue(type, payload.subspan(at, length), affinity, encoding));
        } else {
            values.emplace_back();  // past the bytes at hand
        }
        at += length;
        if (within != nullptr && at <= payload.size()) {
            *within = i + 1;
        }
    }
    return values;
}

}  // namespace nimbara::backup::carver
