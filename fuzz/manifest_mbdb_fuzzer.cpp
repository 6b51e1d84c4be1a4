// Feeds arbitrary bytes to the Manifest.mbdb reader: it must report damage, never read out of
// bounds or crash. Whatever it reads must survive a write and a second read unchanged. The
// streaming reader must hand on the same records, from memory and from a file read in blocks,
// and end where its visitor asks it to.
#include "backup/manifest_mbdb.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace nimbara::backup;

bool sameRecord(const MbdbRecord& a, const MbdbRecord& b) {
    return a.domain == b.domain && a.path == b.path && a.linkTarget == b.linkTarget &&
           a.size == b.size && a.mode == b.mode && a.properties == b.properties;
}

// The records streamed from an in-memory file must match `expected`, in order.
void checkFileStream(const std::uint8_t* data, std::size_t size, const MbdbReadResult& expected) {
    const int fd = memfd_create("mbdb", MFD_CLOEXEC);
    if (fd < 0) {
        return;
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) {
            close(fd);
            return;
        }
        written += static_cast<std::size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    std::size_t at = 0;
    const EntryStreamResult streamed = streamMbdbFile(fd, [&](MbdbRecord&& record) {
        if (at >= expected.records.size() || !sameRecord(record, expected.records[at])) {
            std::abort();
        }
        ++at;
        return true;
    });
    close(fd);
    if (at != expected.records.size() || streamed.ok() != expected.ok()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MbdbReadResult result = parseMbdb({data, size});
    for (const MbdbRecord& record : result.records) {
        const BackupEntry entry = record.toEntry();
        if (entry.fileKey.size() != 40 || record.properties.size() > kMaxMbdbProperties) {
            std::abort();
        }
    }
    const std::string written = writeMbdb(result.records);
    const MbdbReadResult again =
        parseMbdb({reinterpret_cast<const std::uint8_t*>(written.data()), written.size()});
    if (!again.ok() || again.records.size() != result.records.size()) {
        std::abort();
    }

    // A visitor that asks to stop after half the records ends the read right there.
    const std::size_t half = result.records.size() / 2;
    std::size_t seen = 0;
    const EntryStreamResult stopped = streamMbdb({data, size}, [&](MbdbRecord&& record) {
        if (!sameRecord(record, result.records[seen])) {
            std::abort();
        }
        return ++seen <= half;
    });
    if (!result.records.empty() && (!stopped.stopped || seen != half + 1)) {
        std::abort();
    }

    checkFileStream(data, size, result);
    return 0;
}
