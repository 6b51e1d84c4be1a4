#pragma once

#include <QCryptographicHash>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbara::backup {

// SHA-1 (FIPS 180) message digest, computed by Qt. One object can serve many messages: call
// reset() before each one. Input after the digest was taken, or a message longer than 2^64 bits,
// marks the object corrupted and finish() then fails.
class SHAH {
  public:
    using Digest = std::array<std::uint32_t, 5>;

    SHAH() : hash_(QCryptographicHash::Sha1) {}
    virtual ~SHAH() = default;

    void reset();
    void input(const void* bytes, std::size_t length);
    void input(std::uint8_t byte) { input(&byte, 1); }
    void input(const char* text);  // NUL-terminated text, without the NUL
    void input(std::string_view text) { input(text.data(), text.size()); }

    // Pads the message once and hands out the five digest words; false when corrupted.
    bool finish(Digest& digest);

    bool corrupted() const { return corrupted_; }

  private:
    QCryptographicHash hash_;
    std::uint64_t length_ = 0;  // bytes fed so far
    Digest digest_{};           // once computed
    bool computed_ = false;
    bool corrupted_ = false;
};

// Clears text and writes the five words as 40 lower-case hex digits; true when 40 long.
bool digestToHexString(const SHAH::Digest& digest, std::string& text);

// SHA-1 of data as 40 lower-case hex digits.
std::string sha1Hex(std::string_view data);

// Name of a backed-up file inside the backup folder: SHA-1 of "<domain>-<relativePath>".
std::string fileKey(std::string_view domain, std::string_view relativePath);

}  // namespace nimbara::backup
