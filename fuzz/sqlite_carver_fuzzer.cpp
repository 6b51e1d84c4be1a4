// Feeds arbitrary bytes to the deleted-row carver as a database file and, when a "-wal" log
// header starts at a page boundary further on, the rest as its log. The carver must end (no
// loop over a page chain), never read out of bounds, hand on only rows of the tables it reports
// with one value per column and well-formed texts, and give the same answer a second time.
#include "backup/carver/sqlite_carver.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace nimbara::backup::carver;

bool wellFormedUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t extra = lead < 0x80 ? 0 : lead >= 0xf0 ? 3 : lead >= 0xe0 ? 2 : 1;
        if (lead >= 0x80 && lead < 0xc2) {
            return false;
        }
        if (extra >= text.size() - i) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// Where the log begins: the first log magic number at a multiple of 512 after the first 512
// bytes; the whole input is the database when there is none.
std::size_t walStart(const std::uint8_t* data, std::size_t size) {
    for (std::size_t at = 512; at + 4 <= size; at += 512) {
        if (data[at] == 0x37 && data[at + 1] == 0x7f && data[at + 2] == 0x06 &&
            (data[at + 3] & 0xfe) == 0x82) {
            return at;
        }
    }
    return size;
}

void check(const CarveReport& report) {
    for (const CarvedRow& row : report.rows) {
        const Table* table = nullptr;
        for (const Table& t : report.tables) {
            if (t.name == row.table) {
                table = &t;
            }
        }
        if (table == nullptr || row.values.size() != table->columns.size()) {
            std::abort();
        }
        bool informative = false;
        for (const auto& value : row.values) {
            if (value && value->kind == Value::Kind::Text && !wellFormedUtf8(value->bytes)) {
                std::abort();
            }
            informative = informative || (value && value->kind != Value::Kind::Null);
        }
        if (!informative) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t split = walStart(data, size);
    const MemorySource database(data, split);
    const MemorySource wal(data + split, size - split);
    const std::vector<std::string> tables{"t", "u", "message", "ABPerson"};
    const CarveReport report = carveTables(database, split < size ? &wal : nullptr, tables);
    check(report);

    const CarveReport again = carveTables(database, split < size ? &wal : nullptr, tables);
    if (again.status != report.status || again.rows.size() != report.rows.size() ||
        again.liveRowsSeen != report.liveRowsSeen) {
        std::abort();
    }
    int asked = 0;
    const CarveReport stopped =
        carveTables(database, split < size ? &wal : nullptr, tables, [&] { return ++asked > 2; });
    if (stopped.status == CarveReport::Status::Stopped && !stopped.rows.empty()) {
        std::abort();
    }
    return 0;
}
