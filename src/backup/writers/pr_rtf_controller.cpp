#include "backup/writers/pr_rtf_controller.h"

#include <array>

namespace {

struct Family {
    const char* fileType;
    const char* stem;
};

// Matched exactly: letter case counts, and plurals are not families.
constexpr std::array<Family, 6> kFamilies = {{
    {"Contact", "Contacts"},
    {"Message", "Messages"},
    {"CallHistory", "Call History"},
    {"Note", "Notes"},
    {"BookMark", "BookMark"},
    {"Calendar&Reminder", "Calendar&Reminder"},
}};

}  // namespace

QString PRRtfController::familyFileStem(const QString& fileType) {
    for (const Family& family : kFamilies) {
        if (fileType == QLatin1String(family.fileType)) {
            return QString::fromUtf8(family.stem);
        }
    }
    return QStringLiteral("TXT");
}

void PRRtfController::addRtfContent(const QString& text) {
    strRtfContent_.reserve(strRtfContent_.size() + text.size() + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
                continue;  // the "\n" of "\r\n" follows
            }
            c = QLatin1Char('\n');
        }
        if (c == QLatin1Char('\n') && (strRtfContent_.endsWith(QLatin1Char('\n')) || i == 0)) {
            strRtfContent_ += QLatin1Char(' ');
        }
        strRtfContent_ += c;
    }
    strRtfContent_ += QLatin1String("\n\n");
}

nimbara::backup::ExportWriteResult PRRtfController::writeRtfInPath(
    const std::filesystem::path& folder, const QString& fileType) {
    setRtfEnder();
    return nimbara::backup::writeExportFile(folder, familyFileStem(fileType), ".txt",
                                            strRtfContent_.toStdString());
}
