// The web browser's cookie file ("Cookies.binarycookies"): read and written.
//
// The file: "cook", the number of pages (4 bytes big-endian), one page size per page (4 bytes
// big-endian each), the pages, a checksum of the pages (4 bytes big-endian), an 8-byte end mark,
// and optionally a small property list. A page: the header 00 00 01 00, the number of cookies
// (4 bytes little-endian), one offset per cookie from the page start (little-endian), 4 zero
// bytes, then the cookie records. A record (little-endian throughout): its size, 4 bytes, flags,
// 4 bytes, the offsets of its address, name, path and value from the record start, 8 bytes,
// the expiry and creation dates (doubles, seconds since 2001), then the four NUL-ended texts.
//
// The file comes from a backup and is untrusted: every count, offset and size is checked against
// the bytes that hold it before it is used, each record is read through its page's offset table
// (a record whose size is 0 is left out, it never stalls the reading), and nothing is read past
// the end of the file, its page or its record. A damaged page or record is counted and left out;
// the others are read.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbara::privacy {

// A cookie file larger than this is not read.
inline constexpr std::uint64_t kMaxCookieFileBytes = 64ull * 1024 * 1024;
// The fixed part of a cookie record, before its texts.
inline constexpr std::size_t kCookieRecordHeaderBytes = 56;

struct BinaryCookie {
    std::size_t page = 0;         // the page it was read from
    std::size_t indexInPage = 0;  // its place in that page's offset table
    std::size_t ordinal = 0;      // its place among the cookies read from the file, from 0
    std::uint32_t flags = 0;      // 1 secure, 4 HTTP only
    double expiry = 0;            // seconds since 2001
    double creation = 0;
    std::string url;
    std::string name;
    std::string path;
    std::string value;
    std::string record;  // the record's bytes as stored

    // SHA-1 of the record's bytes (20 bytes): with the ordinal, what names this cookie exactly.
    QByteArray digest() const;
};

struct BinaryCookieFile {
    bool ok = false;    // a cookie file: its mark and page table are sound
    std::string error;  // why it is not, or the first damage met (a line for the log)
    std::vector<BinaryCookie> cookies;  // in file order
    std::size_t pages = 0;              // pages the table lists
    std::size_t damagedPages = 0;       // pages left out
    std::size_t damagedCookies = 0;     // records left out
    // What follows the checksum and end mark (the cookie policy list), kept as it is.
    std::string trailer;

    // Every page and record was read: writing the cookies back loses nothing else.
    bool complete() const { return ok && damagedPages == 0 && damagedCookies == 0; }
};

BinaryCookieFile parseBinaryCookies(std::string_view bytes);

// The fields of a new record.
struct CookieFields {
    std::string url;
    std::string name;
    std::string path;
    std::string value;
    std::uint32_t flags = 0;
    double expiry = 0;
    double creation = 0;
};
// The record bytes of a cookie; texts are cut at an embedded NUL.
std::string makeCookieRecord(const CookieFields& cookie);

// A cookie file holding `records` (each a record as stored, or made by makeCookieRecord) in one
// page, in order, with its checksum and end mark and `trailer` after them. No records give a
// file with one empty page.
std::string writeBinaryCookies(const std::vector<std::string>& records,
                               std::string_view trailer = {});

}  // namespace nimbara::privacy
