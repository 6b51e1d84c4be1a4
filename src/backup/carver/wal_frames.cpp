#include "backup/carver/wal_frames.h"

#include "backup/carver/sqlite_record.h"

#include <algorithm>
#include <array>

namespace nimbara::backup::carver {

namespace {

constexpr std::size_t kWalHeaderSize = 32;
constexpr std::size_t kFrameHeaderSize = 24;
constexpr std::uint32_t kWalVersion = 3007000;

struct Checksum {
    std::uint32_t s0 = 0;
    std::uint32_t s1 = 0;
};

std::uint32_t readLittle32(Bytes bytes, std::size_t at) {
    return (std::uint32_t{bytes[at + 3]} << 24) | (std::uint32_t{bytes[at + 2]} << 16) |
           (std::uint32_t{bytes[at + 1]} << 8) | bytes[at];
}

// SQLite's log checksum over `bytes` (a multiple of 8 long), continuing `sum`.
void addChecksum(Checksum& sum, Bytes bytes, bool bigEndian) {
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        const std::uint32_t x0 = bigEndian ? readBig32(bytes, i) : readLittle32(bytes, i);
        const std::uint32_t x1 = bigEndian ? readBig32(bytes, i + 4) : readLittle32(bytes, i + 4);
        sum.s0 += x0 + sum.s1;
        sum.s1 += x1 + sum.s0;
    }
}

}  // namespace

std::optional<WalLog> readWalLog(const ByteSource& wal, std::uint32_t pageSize, std::string& why,
                                 WorkBudget& budget) {
    std::array<std::uint8_t, kWalHeaderSize> header{};
    if (!wal.read(0, header.data(), header.size())) {
        why = "the -wal file is shorter than its header";
        return std::nullopt;
    }
    const Bytes head(header);
    const std::uint32_t magic = readBig32(head, 0);
    if ((magic & 0xfffffffe) != 0x377f0682) {
        why = "the -wal file has no log header";
        return std::nullopt;
    }
    if (readBig32(head, 4) != kWalVersion) {
        why = "the -wal file has an unknown version";
        return std::nullopt;
    }
    if (readBig32(head, 8) != pageSize) {
        why = "the -wal file's page size differs from the database's";
        return std::nullopt;
    }
    const bool bigEndian = (magic & 1) != 0;
    Checksum sum;
    addChecksum(sum, head.first(24), bigEndian);
    // A log whose header fails its checksum holds nothing in force; its frames are old versions.
    const bool headerValid = sum.s0 == readBig32(head, 24) && sum.s1 == readBig32(head, 28);
    bool valid = headerValid;
    const std::uint32_t salt1 = readBig32(head, 16);
    const std::uint32_t salt2 = readBig32(head, 20);

    WalLog log;
    std::vector<WalFrame> pending;  // valid frames after the last commit so far
    std::vector<std::uint8_t> frame(kFrameHeaderSize + pageSize);
    const std::uint64_t frameSize = frame.size();
    for (std::uint64_t at = kWalHeaderSize; at <= wal.size() && wal.size() - at >= frameSize;
         at += frameSize) {
        // A frame's place in the lists of current and older frames.
        if (!budget.spend(frameSize) || !budget.hold(sizeof(WalFrame) * 3) ||
            !wal.read(at, frame.data(), frame.size())) {
            break;
        }
        const Bytes bytes(frame);
        const WalFrame current{readBig32(bytes, 0), at + kFrameHeaderSize};
        const bool sameSalt = readBig32(bytes, 8) == salt1 && readBig32(bytes, 12) == salt2;
        if (valid) {
            addChecksum(sum, bytes.first(8), bigEndian);
            addChecksum(sum, bytes.subspan(kFrameHeaderSize), bigEndian);
            valid = sameSalt && current.page != 0 && sum.s0 == readBig32(bytes, 16) &&
                    sum.s1 == readBig32(bytes, 20);
            if (valid) {
                pending.push_back(current);
                const std::uint32_t commitSize = readBig32(bytes, 4);
                if (commitSize != 0) {
                    for (const WalFrame& done : pending) {
                        auto [it, added] = log.current.try_emplace(done.page, done);
                        if (!added) {
                            log.older.push_back(it->second);
                            it->second = done;
                        }
                    }
                    pending.clear();
                    log.databaseSize = commitSize;
                }
                continue;
            }
        }
        if (!sameSalt || !headerValid) {
            log.older.push_back(current);
        }
    }
    for (const auto& [page, frameAt] : log.current) {
        log.largestPage = std::max(log.largestPage, page);
    }
    return log;
}

}  // namespace nimbara::backup::carver
