#include "privacy/privacy_reader.h"

namespace nimbara::privacy {

PrivacySourceRef makeSource(const backup::DatabaseSource& where,
                            const backup::StoredDatabase& stored, PrivacyFileFormat format,
                            std::string table, std::string keyColumn, std::string listKey) {
    auto source = std::make_shared<PrivacySource>();
    source->domain = where.domain;
    source->relativePath = where.relativePath;
    source->fileKey = where.key();
    source->storedName = stored.relative;
    source->walStoredName = stored.walRelative;
    source->format = format;
    source->table = std::move(table);
    source->keyColumn = std::move(keyColumn);
    source->listKey = std::move(listKey);
    return source;
}

}  // namespace nimbara::privacy
