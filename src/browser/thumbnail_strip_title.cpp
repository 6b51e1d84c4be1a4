#include "browser/thumbnail_strip_title.h"

#include <vector>

namespace nimbara::browser {

QString thumbnailTitle(const QString& fileName) {
    constexpr qsizetype kShortBytes = 14;
    constexpr qsizetype kHead = 5;
    constexpr qsizetype kTail = 5;
    if (fileName.toUtf8().size() < kShortBytes) {
        return fileName;
    }
    // Characters, not UTF-16 units: a character outside the basic plane is never cut in two.
    std::vector<qsizetype> starts;  // where each character starts
    for (qsizetype i = 0; i < fileName.size(); ++i) {
        starts.push_back(i);
        if (fileName[i].isHighSurrogate() && i + 1 < fileName.size() &&
            fileName[i + 1].isLowSurrogate()) {
            ++i;
        }
    }
    const auto count = static_cast<qsizetype>(starts.size());
    qsizetype head = kHead;
    for (qsizetype i = 0; i < kHead && i < count; ++i) {
        if (fileName[starts[static_cast<std::size_t>(i)]].unicode() > 0x7f) {
            head = kHead - 1;
            break;
        }
    }
    if (head + kTail >= count) {
        return fileName;  // the two ends would meet: nothing would be left out
    }
    const qsizetype headEnd = starts[static_cast<std::size_t>(head)];
    const qsizetype tailStart = starts[static_cast<std::size_t>(count - kTail)];
    return fileName.left(headEnd) + QStringLiteral("...") + fileName.mid(tailStart);
}

}  // namespace nimbara::browser
