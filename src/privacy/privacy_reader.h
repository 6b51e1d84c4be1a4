// What the privacy readers share: how one reader's run is reported, and how the source of the
// records read from a stored file is described.
#pragma once

#include <string>

#include "backup/record_database.h"
#include "privacy/privacy_source.h"

namespace nimbara::privacy {

// How one reader's run over a backup ended. A backup without the reader's file is no damage:
// found stays false and ok true. Only a file that is there and cannot be read is an error.
struct PrivacyReadReport {
    explicit PrivacyReadReport(std::string name = {}) : family(std::move(name)) {}

    std::string family;    // "Safari history", "Wi-Fi networks", ...
    bool found = false;    // the backup holds one of the reader's files (read or not)
    bool ok = true;        // everything found was read to its end
    bool stopped = false;  // the stop check ended the read
    std::string error;     // why not, when !ok: a line for the log (the first problem met)

    void fail(const std::string& why) {
        ok = false;
        if (error.empty()) {
            error = why;
        }
    }
};

// One report over every source of a family: `readOne(source, report)` for each in turn, until
// one is stopped.
template <class Sources, class ReadOne>
PrivacyReadReport readEachSource(const char* family, const Sources& sources, ReadOne&& readOne) {
    PrivacyReadReport report(family);
    for (const auto& where : sources) {
        readOne(where, report);
        if (report.stopped) {
            break;
        }
    }
    return report;
}

// The source of records read from the stored file `stored` of `where`.
PrivacySourceRef makeSource(const backup::DatabaseSource& where,
                            const backup::StoredDatabase& stored, PrivacyFileFormat format,
                            std::string table = {}, std::string keyColumn = {},
                            std::string listKey = {});

}  // namespace nimbara::privacy
