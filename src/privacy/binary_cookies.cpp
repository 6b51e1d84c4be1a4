#include "privacy/binary_cookies.h"

#include <QCryptographicHash>

#include <bit>
#include <cstring>
#include <unordered_set>

namespace nimbara::privacy {

namespace {

constexpr std::string_view kMagic("cook", 4);
constexpr std::string_view kPageHeader("\x00\x00\x01\x00", 4);
constexpr std::string_view kEndMark("\x07\x17\x20\x05\x00\x00\x00\x4b", 8);
constexpr std::size_t kPageFixedBytes = 8;  // header and cookie count

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint32_t littleEndian32(std::string_view bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

double littleEndianDouble(std::string_view bytes, std::size_t at) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return std::bit_cast<double>(bits);
}

void putBigEndian32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void putLittleEndian32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift <= 24; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void putLittleEndianDouble(std::string& out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int shift = 0; shift <= 56; shift += 8) {
        out.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
}

// The NUL-ended text at `offset` of the record; false when the offset lies in the fixed part or
// outside the record, or the text runs to the record's end without its NUL.
bool recordText(std::string_view record, std::uint32_t offset, std::string& text) {
    if (offset < kCookieRecordHeaderBytes || offset >= record.size()) {
        return false;
    }
    const std::size_t end = record.find('\0', offset);
    if (end == std::string_view::npos) {
        return false;
    }
    text.assign(record.substr(offset, end - offset));
    return true;
}

// One record of a page: false when it is damaged.
bool parseRecord(std::string_view record, BinaryCookie& cookie) {
    cookie.flags = littleEndian32(record, 8);
    const std::uint32_t urlAt = littleEndian32(record, 16);
    const std::uint32_t nameAt = littleEndian32(record, 20);
    const std::uint32_t pathAt = littleEndian32(record, 24);
    const std::uint32_t valueAt = littleEndian32(record, 28);
    cookie.expiry = littleEndianDouble(record, 40);
    cookie.creation = littleEndianDouble(record, 48);
    if (!recordText(record, urlAt, cookie.url) || !recordText(record, nameAt, cookie.name) ||
        !recordText(record, pathAt, cookie.path) || !recordText(record, valueAt, cookie.value)) {
        return false;
    }
    cookie.record.assign(record);
    return true;
}

void noteDamage(BinaryCookieFile& file, std::string what) {
    if (file.error.empty()) {
        file.error = std::move(what);
    }
}

void parsePage(std::string_view page, std::size_t index, BinaryCookieFile& file) {
    const std::string where = "page " + std::to_string(index);
    if (page.size() < kPageFixedBytes || page.substr(0, 4) != kPageHeader) {
        ++file.damagedPages;
        noteDamage(file, where + " has no page header");
        return;
    }
    const std::uint32_t count = littleEndian32(page, 4);
    if (count > (page.size() - kPageFixedBytes) / 4) {
        ++file.damagedPages;
        noteDamage(file, where + " lists more cookies than it can hold");
        return;
    }
    const std::size_t tableEnd = kPageFixedBytes + 4 * std::size_t{count};
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t at = littleEndian32(page, kPageFixedBytes + 4 * std::size_t{i});
        const std::string cookieWhere = where + " cookie " + std::to_string(i);
        if (at < tableEnd || at > page.size() || page.size() - at < kCookieRecordHeaderBytes ||
            !seen.insert(at).second) {
            ++file.damagedCookies;
            noteDamage(file, cookieWhere + " lies outside its page");
            continue;
        }
        const std::uint32_t size = littleEndian32(page, at);
        if (size < kCookieRecordHeaderBytes || size > page.size() - at) {
            ++file.damagedCookies;
            noteDamage(file, cookieWhere + " has a size of " + std::to_string(size));
            continue;
        }
        BinaryCookie cookie;
        cookie.page = index;
        cookie.indexInPage = i;
        if (!parseRecord(page.substr(at, size), cookie)) {
            ++file.damagedCookies;
            noteDamage(file, cookieWhere + " has a text outside the record");
            continue;
        }
        cookie.ordinal = file.cookies.size();
        file.cookies.push_back(std::move(cookie));
    }
}

}  // namespace

QByteArray BinaryCookie::digest() const {
    return QCryptographicHash::hash(QByteArrayView(record.data(), qsizetype(record.size())),
                                    QCryptographicHash::Sha1);
}

BinaryCookieFile parseBinaryCookies(std::string_view bytes) {
    BinaryCookieFile file;
    if (bytes.size() > kMaxCookieFileBytes) {
        file.error = "the cookie file is too large";
        return file;
    }
    if (bytes.size() < 8 || bytes.substr(0, 4) != kMagic) {
        file.error = "not a cookie file";
        return file;
    }
    const std::uint32_t pages = bigEndian32(bytes, 4);
    if (pages > (bytes.size() - 8) / 4) {
        file.error = "the page table runs past the end of the file";
        return file;
    }
    file.ok = true;
    file.pages = pages;
    std::size_t at = 8 + 4 * std::size_t{pages};
    for (std::uint32_t p = 0; p < pages; ++p) {
        const std::uint32_t size = bigEndian32(bytes, 8 + 4 * std::size_t{p});
        if (size > bytes.size() - at) {
            // The pages after it cannot be found either.
            file.damagedPages += pages - p;
            noteDamage(file, "page " + std::to_string(p) + " runs past the end of the file");
            return file;
        }
        parsePage(bytes.substr(at, size), p, file);
        at += size;
    }
    if (bytes.size() - at >= 4 + kEndMark.size() &&
        bytes.substr(at + 4, kEndMark.size()) == kEndMark) {
        file.trailer.assign(bytes.substr(at + 4 + kEndMark.size()));
    }
    return file;
}

std::string makeCookieRecord(const CookieFields& cookie) {
    auto text = [](const std::string& s) { return s.substr(0, s.find('\0')); };
    const std::string url = text(cookie.url);
    const std::string name = text(cookie.name);
    const std::string path = text(cookie.path);
    const std::string value = text(cookie.value);
    const std::size_t urlAt = kCookieRecordHeaderBytes;
    const std::size_t nameAt = urlAt + url.size() + 1;
    const std::size_t pathAt = nameAt + name.size() + 1;
    const std::size_t valueAt = pathAt + path.size() + 1;
    const std::size_t size = valueAt + value.size() + 1;
    std::string record;
    record.reserve(size);
    putLittleEndian32(record, static_cast<std::uint32_t>(size));
    putLittleEndian32(record, 0);
    putLittleEndian32(record, cookie.flags);
    putLittleEndian32(record, 0);
    for (std::size_t offset : {urlAt, nameAt, pathAt, valueAt}) {
        putLittleEndian32(record, static_cast<std::uint32_t>(offset));
    }
    record.append(8, '\0');
    putLittleEndianDouble(record, cookie.expiry);
    putLittleEndianDouble(record, cookie.creation);
    for (const std::string* s : {&url, &name, &path, &value}) {
        record += *s;
        record.push_back('\0');
    }
    return record;
}

std::string writeBinaryCookies(const std::vector<std::string>& records, std::string_view trailer) {
    std::string page(kPageHeader);
    putLittleEndian32(page, static_cast<std::uint32_t>(records.size()));
    std::size_t at = kPageFixedBytes + 4 * records.size() + 4;
    for (const std::string& record : records) {
        putLittleEndian32(page, static_cast<std::uint32_t>(at));
        at += record.size();
    }
    putLittleEndian32(page, 0);
    for (const std::string& record : records) {
        page += record;
    }
    // The checksum adds every fourth byte of each page, from its first.
    std::uint32_t checksum = 0;
    for (std::size_t i = 0; i < page.size(); i += 4) {
        checksum += static_cast<unsigned char>(page[i]);
    }
    std::string file(kMagic);
    putBigEndian32(file, 1);
    putBigEndian32(file, static_cast<std::uint32_t>(page.size()));
    file += page;
    putBigEndian32(file, checksum);
    file += kEndMark;
    file += trailer;
    return file;
}

}  // namespace nimbara::privacy
