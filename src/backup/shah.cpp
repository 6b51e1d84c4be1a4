#include "backup/shah.h"

#include <cstdio>
#include <cstring>

namespace nimbara::backup {

namespace {

constexpr std::uint32_t rotl(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

}  // namespace

void SHAH::reset() {
    h_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    lengthLow_ = 0;
    lengthHigh_ = 0;
    blockIndex_ = 0;
    block_.fill(0);
    computed_ = false;
    corrupted_ = false;
}

void SHAH::input(const void* bytes, std::size_t length) {
    if (length == 0) {
        return;
    }
    if (computed_ || corrupted_) {
        corrupted_ = true;
        return;
    }
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < length; ++i) {
        block_[blockIndex_++] = p[i];
        lengthLow_ += 8;
        if (lengthLow_ == 0) {
            ++lengthHigh_;
            if (lengthHigh_ == 0) {
                corrupted_ = true;  // more than 2^64 bits
                return;
            }
        }
        if (blockIndex_ == 64) {
            processBlock();
        }
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
        padMessage();
        computed_ = true;
    }
    digest = h_;
    return true;
}

void SHAH::processBlock() {
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        w[t] = (std::uint32_t{block_[t * 4]} << 24) | (std::uint32_t{block_[t * 4 + 1]} << 16) |
               (std::uint32_t{block_[t * 4 + 2]} << 8) | std::uint32_t{block_[t * 4 + 3]};
    }
    for (int t = 16; t < 80; ++t) {
        w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    }
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int t = 0; t < 80; ++t) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t temp = rotl(a, 5) + f + e + w[t] + k;
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
    blockIndex_ = 0;
}

void SHAH::padMessage() {
    block_[blockIndex_++] = 0x80;
    if (blockIndex_ > 56) {
        while (blockIndex_ < 64) {
            block_[blockIndex_++] = 0;
        }
        processBlock();
    }
    while (blockIndex_ < 56) {
        block_[blockIndex_++] = 0;
    }
    for (int i = 0; i < 4; ++i) {
        block_[56 + i] = static_cast<std::uint8_t>(lengthHigh_ >> (24 - 8 * i));
        block_[60 + i] = static_cast<std::uint8_t>(lengthLow_ >> (24 - 8 * i));
    }
    processBlock();
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
