#include "backup/note_body.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace nimbara::backup {

namespace {

constexpr qsizetype kInflateChunk = 64 * 1024;

// Reads the varint at `pos`, moving past it; false when it runs past the end or is too long.
bool readVarint(std::string_view bytes, std::size_t& pos, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (pos >= bytes.size()) {
            return false;
        }
        const auto byte = static_cast<unsigned char>(bytes[pos++]);
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

// The bytes of the first length-delimited field `wanted` of a message; nullopt when it has none.
// `malformed` is set when the message breaks off or is not a protocol buffer before that field.
std::optional<std::string_view> lengthField(std::string_view message, std::uint64_t wanted,
                                            bool& malformed) {
    malformed = true;
    std::size_t pos = 0;
    while (pos < message.size()) {
        std::uint64_t tag = 0;
        if (!readVarint(message, pos, tag)) {
            return std::nullopt;
        }
        const std::uint64_t field = tag >> 3;
        std::uint64_t skip = 0;
        switch (tag & 7) {
            case 0: {  // varint
                std::uint64_t ignored = 0;
                if (!readVarint(message, pos, ignored)) {
                    return std::nullopt;
                }
                break;
            }
            case 1:  // 64-bit
                skip = 8;
                break;
            case 2: {  // length-delimited
                std::uint64_t length = 0;
                if (!readVarint(message, pos, length) || length > message.size() - pos) {
                    return std::nullopt;
                }
                if (field == wanted) {
                    malformed = false;
                    return message.substr(pos, static_cast<std::size_t>(length));
                }
                skip = length;
                break;
            }
            case 5:  // 32-bit
                skip = 4;
                break;
            default:  // groups are not used by note bodies
                return std::nullopt;
        }
        if (field == 0 || skip > message.size() - pos) {
            return std::nullopt;
        }
        pos += static_cast<std::size_t>(skip);
    }
    malformed = false;
    return std::nullopt;
}

}  // namespace

std::optional<QByteArray> inflateNoteData(const QByteArray& data, qsizetype limit, bool* tooLarge,
                                          qsizetype* inflated) {
    if (tooLarge != nullptr) {
        *tooLarge = false;
    }
    if (inflated != nullptr) {
        *inflated = 0;
    }
    if (data.isEmpty()) {
        return std::nullopt;
    }
    z_stream stream{};
    // 32 + window bits: gzip or zlib, told apart by the header.
    if (inflateInit2(&stream, 32 + MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    QByteArray out;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (out.size() > limit) {
            break;
        }
        const qsizetype before = out.size();
        const qsizetype room = std::min(kInflateChunk, limit - before + 1);
        out.resize(before + room);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(before + room - static_cast<qsizetype>(stream.avail_out));
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            break;  // the data ends before the stream does
        }
    }
    inflateEnd(&stream);
    if (inflated != nullptr) {
        *inflated = out.size();
    }
    if (out.size() > limit) {
        if (tooLarge != nullptr) {
            *tooLarge = true;
        }
        return std::nullopt;
    }
    if (status != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

std::optional<QString> noteTextOfProto(const QByteArray& proto) {
    const std::string_view bytes(proto.constData(), static_cast<std::size_t>(proto.size()));
    bool malformed = false;
    const auto document = lengthField(bytes, 2, malformed);
    if (!document) {
        return std::nullopt;
    }
    const auto note = lengthField(*document, 3, malformed);
    if (!note) {
        return std::nullopt;
    }
    // A note without its text field has the empty text.
    const auto text = lengthField(*note, 2, malformed);
    if (!text) {
        return malformed ? std::nullopt : std::optional<QString>(QLatin1String(""));
    }
    return QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()));
}

namespace {

// The note text of inflated bytes; " " when there are none or they hold no note.
QString textOrBlank(const std::optional<QByteArray>& proto) {
    return proto ? noteTextOfProto(*proto).value_or(QStringLiteral(" ")) : QStringLiteral(" ");
}

}  // namespace

QString noteBodyText(const QByteArray& stored) {
    return textOrBlank(inflateNoteData(stored));
}

void NoteBodyAllowance::setDatabaseBytes(std::uint64_t bytes) {
    constexpr std::uint64_t kPerByte = 32;
    const std::uint64_t limit = bytes > (UINT64_MAX - kNoteBodyLimit) / kPerByte
                                    ? UINT64_MAX
                                    : bytes * kPerByte + kNoteBodyLimit;
    limit_ = std::max(limit_, limit);
}

QString NoteBodyAllowance::text(const QByteArray& stored) {
    const std::uint64_t left = limit_ - std::min(inflated_, limit_);
    if (left == 0) {
        return QString::fromLatin1(kNoteTooLargeText);
    }
    // Inflating tells a body past the limit by one byte more.
    const auto limit = static_cast<qsizetype>(std::min<std::uint64_t>(kNoteBodyLimit, left - 1));
    bool tooLarge = false;
    qsizetype inflated = 0;
    const auto proto = inflateNoteData(stored, limit, &tooLarge, &inflated);
    inflated_ += static_cast<std::uint64_t>(inflated);
    return tooLarge ? QString::fromLatin1(kNoteTooLargeText) : textOrBlank(proto);
}

}  // namespace nimbara::backup
