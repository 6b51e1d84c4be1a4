#include "backup/shah.h"

#include <cstdio>
#include <cstring>

namespace nimbara::backup {

namespace {

// A message may hold at most 2^64 - 1 bits, that is fewer than 2^61 bytes.
constexpr std::uint64_t kMaxMessageBytes = (std::uint64_t{1} << 61) - 1;

}  // namespace

void SHAH::reset() {
    hash_.reset();
    length_ = 0;
    digest_ = {};
    computed_ = false;
    corrupted_ = false;
}

void SHAH::input(const void* bytes, std::size_t length) {
    if (length == 0) {
        return;
    }
    if (computed_ || corrupted_ || length > kMaxMessageBytes - length_) {
        corrupted_ = true;
        return;
    }
    length_ += length;
    // Fed in pieces a QByteArrayView can always hold.
    const auto* p = static_cast<const char*>(bytes);
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    while (length > 0) {
        const std::size_t piece = length < kPiece ? length : kPiece;
        hash_.addData(QByteArrayView(p, static_cast<qsizetype>(piece)));
        p += piece;
        length -= piece;
    }
}

void SHAH::input(const char* text) {
    if (text != nullptr) {
        input(text, std::strlen(text));
    }
}

bool SHAH::finish(Digest& digest) {
    if (corrupted_) {
        return false;
    }
    if (!computed_) {
        const QByteArray bytes = hash_.result();
        if (bytes.size() != static_cast<qsizetype>(sizeof(std::uint32_t) * digest_.size())) {
            corrupted_ = true;
            return false;
        }
        for (std::size_t word = 0; word < digest_.size(); ++word) {
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < 4; ++i) {
                value = (value << 8) |
                        static_cast<std::uint8_t>(bytes[static_cast<qsizetype>(4 * word + i)]);
            }
            digest_[word] = value;
        }
        computed_ = true;
    }
    digest = digest_;
    return true;
}

bool digestToHexString(const SHAH::Digest& digest, std::string& text) {
    text.clear();
    char word[9];
    for (std::uint32_t value : digest) {
        std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(value));
        text += word;
    }
    return text.size() == 40;
}

std::string sha1Hex(std::string_view data) {
    SHAH hash;
    hash.input(data);
    SHAH::Digest digest{};
    std::string text;
    if (!hash.finish(digest) || !digestToHexString(digest, text)) {
        return {};
    }
    return text;
}

std::string fileKey(std::string_view domain, std::string_view relativePath) {
    SHAH hash;
    hash.input(domain);
    hash.input(std::uint8_t{'-'});
    hash.input(relativePath);
    SHAH::Digest digest{};
    std::string text;
    if (!hash.finish(digest) || !digestToHexString(digest, text)) {
        return {};
    }
    return text;
}

}  // namespace nimbara::backup
