// Feeds arbitrary bytes to the Manifest.mbdb reader: it must report damage, never read out of
// bounds or crash. Whatever it reads must survive a write and a second read unchanged.
#include "backup/manifest_mbdb.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nimbara::backup;
    const MbdbReadResult result = parseMbdb({data, size});
    for (const MbdbRecord& record : result.records) {
        const BackupEntry entry = record.toEntry();
        if (entry.fileKey.size() != 40) {
            std::abort();
        }
    }
    const std::string written = writeMbdb(result.records);
    const MbdbReadResult again =
        parseMbdb({reinterpret_cast<const std::uint8_t*>(written.data()), written.size()});
    if (!again.ok() || again.records.size() != result.records.size()) {
        std::abort();
    }
    return 0;
}
