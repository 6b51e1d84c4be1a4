#include "app/core/quick_scan_names.h"

#include <QList>

namespace nimbara::shell {

namespace {

// `name` whole when it has fewer than `limit` characters; otherwise its first `keep`
// characters, "....." and its last `keep` characters.
QString shortenedName(const QString& name, int limit, int keep) {
    const QList<uint> points = name.toUcs4();
    if (points.size() < limit || keep < 0 || 2 * keep > points.size()) {
        return name;
    }
    const auto head = points.mid(0, keep);
    const auto tail = points.mid(points.size() - keep);
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(head.constData()), head.size()) +
           QStringLiteral(".....") +
           QString::fromUcs4(reinterpret_cast<const char32_t*>(tail.constData()), tail.size());
}

}  // namespace

QString shortenedLargeFileName(const QString& name) {
    return shortenedName(name, 43, 21);
}

QString shortenedLargeAppName(const QString& name) {
    return shortenedName(name, 81, 40);
}

}  // namespace nimbara::shell
