// Varints, serial types and record values of SQLite's file format, read from bytes whose bounds
// the caller gives: nothing here reads outside the span it is handed.
#pragma once

#include "backup/carver/sqlite_carver.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace nimbara::backup::carver {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t readBig16(Bytes bytes, std::size_t at);  // the caller checks at + 2 <= size
std::uint32_t readBig32(Bytes bytes, std::size_t at);  // the caller checks at + 4 <= size

// A varint (1 to 9 bytes, big-endian, 7 bits a byte and all 8 bits of a ninth byte).
struct Varint {
    std::uint64_t value = 0;
    std::size_t length = 0;  // 0: it runs past the end of the bytes
};
Varint readVarint(Bytes bytes, std::size_t at);
std::size_t varintLength(std::uint64_t value);

// Bytes the content of a serial type takes; nullopt for the reserved types 10 and 11.
std::optional<std::uint64_t> serialTypeLength(std::uint64_t type);

// The column affinity SQLite gives a declared type.
enum class Affinity { Integer, Text, Blob, Real, Numeric };
Affinity affinityOf(std::string_view declaredType);

// Whether a stored record may hold serial type `type` in a column: a rowid alias holds NULL, an
// INTEGER or REAL column numbers, a TEXT column texts, a NUMERIC one numbers or texts, a column
// without declared type anything that is not reserved.
bool serialTypeFits(Affinity affinity, bool rowidAlias, std::uint64_t type);

// Text encodings of the database header.
enum class TextEncoding { Utf8 = 1, Utf16le = 2, Utf16be = 3 };

// A value from its serial type and content (exactly serialTypeLength(type) bytes). A text must be
// well-formed in `encoding` and hold no NUL or control character other than tab and line breaks;
// nullopt otherwise. Texts come back as UTF-8. Integers in a REAL column come back as reals.
std::optional<Value> decodeValue(std::uint64_t type, Bytes content, Affinity affinity,
                                 TextEncoding encoding);

bool sameValue(const Value& a, const Value& b);  // numbers compared by value
std::uint64_t valueHash(const Value& value);     // equal for values sameValue() matches

// Serial types of a record header.
struct SerialTypes {
    std::vector<std::uint64_t> types;
    std::size_t end = 0;           // offset just past the last type
    std::uint64_t bodyLength = 0;  // bytes of content they announce
};
// Refuses the type of the index-th column early (empty: every type goes).
using TypeFilter = std::function<bool(std::size_t index, std::uint64_t type)>;
// Types from `at` up to exactly `end` (a varint crossing it, a reserved or filtered type, more
// than `maxTypes` types or content longer than `maxBody` refuse the header).
std::optional<SerialTypes> readTypesUntil(Bytes bytes, std::size_t at, std::size_t end,
                                          std::size_t maxTypes, std::uint64_t maxBody,
                                          const TypeFilter& filter = {});
// Exactly `count` types from `at` (the same refusals).
std::optional<SerialTypes> readTypeCount(Bytes bytes, std::size_t at, std::size_t count,
                                         std::uint64_t maxBody, const TypeFilter& filter = {});

// The values of a record, the i-th read with affinities[i] (BLOB past its end). A value that
// can't be decoded (a malformed text) or lies past the end of `payload` (an overflow chain that
// could not be read) stays empty; nullopt when the header does not fit the payload. `within`,
// when given, gets how many of the first values lie within `payload` (all values after them lie
// past its end).
std::optional<std::vector<std::optional<Value>>> decodeRecord(
    Bytes payload, const std::vector<Affinity>& affinities, TextEncoding encoding,
    std::size_t* within = nullptr);

}  // namespace nimbara::backup::carver
