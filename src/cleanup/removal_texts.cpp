#include "cleanup/removal_texts.h"

#include <QStringList>

#include <algorithm>

#include "cleanup/quick_clean_engine.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace {

QString sizeText(std::uint64_t bytes) {
    return shell::size_to_unit(bytes).trimmed();
}

}  // namespace

QString nameListText(const std::vector<QString>& names, std::size_t shown) {
    shown = std::max<std::size_t>(shown, 1);
    QStringList parts;
    for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
        parts << names[i];
    }
    if (names.size() > shown) {
        // One pass: a name holding "%2" stays as it is.
        return QStringLiteral("%1 and %2 more")
            .arg(parts.join(QStringLiteral(", ")), QString::number(names.size() - shown));
    }
    if (parts.size() < 2) {
        return parts.join(QString());
    }
    const QString last = parts.takeLast();
    return QStringLiteral("%1 and %2").arg(parts.join(QStringLiteral(", ")), last);
}

QString countText(std::uint64_t count, const char* one, const char* many) {
    return count == 1 ? QStringLiteral("1 %1").arg(QLatin1String(one))
                      : QStringLiteral("%1 %2").arg(count).arg(QLatin1String(many));
}

QString namedRemovalText(const std::vector<QString>& names, const char* one, const char* many,
                         const char* verb) {
    if (names.empty()) {
        return {};
    }
    if (names.size() == 1) {
        return QStringLiteral("This %1 will be %2: %3.")
            .arg(QLatin1String(one), QLatin1String(verb), names.front());
    }
    return QStringLiteral("These %1 will be %2: %3.")
        .arg(countText(names.size(), one, many), QLatin1String(verb), nameListText(names));
}

QString quickCleanQuestionText(const QuickCleanPreview& p) {
    QStringList lines;
    const QString folder = QString::fromStdString(p.exportFolder);
    if (p.photos) {
        if (p.cameraRollItems == 0 && p.copyOnlyPictures == 0) {
            lines << QStringLiteral("No photos or videos were found to copy.");
        }
        if (p.cameraRollItems > 0) {
            const QString items =
                countText(p.cameraRollItems, "photo or video", "photos and videos");
            lines << (p.deletePhotos ? QStringLiteral("%1 will be copied to %2 and then deleted "
                                                      "from the device.")
                                     : QStringLiteral("%1 will be copied to %2 and kept on the "
                                                      "device."))
                         .arg(items, folder);
        }
        if (p.copyOnlyPictures > 0) {
            lines << QStringLiteral(
                         "%1 of photo streams and synced albums will be copied to %2 and kept "
                         "on the device.")
                         .arg(countText(p.copyOnlyPictures, "picture", "pictures"), folder);
        }
    }
    if (p.junk && p.junkFiles > 0) {
        lines << QStringLiteral("%1 (%2) will be deleted.")
                     .arg(countText(p.junkFiles, "junk file", "junk files"), sizeText(p.junkBytes));
    }
    if (!p.largeFiles.empty()) {
        lines << namedRemovalText(p.largeFiles, "large file", "large files", "deleted");
    }
    if (p.apps.size() == 1) {
        lines << QStringLiteral("This app will be uninstalled with its data: %1.")
                     .arg(p.apps.front());
    } else if (!p.apps.empty()) {
        lines << QStringLiteral("These apps will be uninstalled with their data: %1.")
                     .arg(nameListText(p.apps));
    }
    if (lines.isEmpty()) {
        lines << QStringLiteral("Nothing ticked will be removed from the device.");
    }
    if (p.keptFiles > 0) {
        lines << QStringLiteral("%1 the device itself needs will be kept.")
                     .arg(countText(p.keptFiles, "file", "files"));
    }
    lines << QStringLiteral("This can't be undone.");
    return lines.join(QLatin1Char('\n'));
}

void addDocument(AppCleanRemovalSummary& summary, const QString& app) {
    ++summary.documents;
    auto& byApp = summary.documentsByApp;
    const auto it = std::find_if(byApp.begin(), byApp.end(),
                                 [&app](const auto& entry) { return entry.first == app; });
    if (it == byApp.end()) {
        byApp.emplace_back(app, 1);
    } else {
        ++it->second;
    }
}

QString appCleanQuestionText(const AppCleanRemovalSummary& s) {
    QStringList lines;
    if (s.documents > 0) {
        std::vector<QString> apps;
        for (const auto& [app, count] : s.documentsByApp) {
            apps.push_back(QStringLiteral("%1 (%2)").arg(app, QString::number(count)));
        }
        lines << QStringLiteral("%1 of %2 will be removed: %3.")
                     .arg(countText(s.documents, "document", "documents"),
                          s.documentsByApp.size() == 1 ? QStringLiteral("this app")
                                                       : QStringLiteral("these apps"),
                          nameListText(apps))
              << QStringLiteral(
                     "Documents are your own files in the apps. To keep any of them, cancel and "
                     "untick them in the Documents list.");
    }
    if (s.keptDocuments > 0) {
        lines << QStringLiteral("%1 you unticked will be kept.")
                     .arg(countText(s.keptDocuments, "document", "documents"));
    }
    if (s.otherFiles > 0) {
        lines << QStringLiteral("%1%2 (%3) will be removed.")
                     .arg(s.documents > 0 ? QStringLiteral("Besides them, ") : QString(),
                          countText(s.otherFiles, "cache, cookie or temporary file",
                                    "caches, cookies and temporary files"),
                          sizeText(s.otherBytes));
    }
    if (s.adApps > 0) {
        lines << QStringLiteral("The advertisement caches of %1 will be removed.")
                     .arg(countText(s.adApps, "app", "apps"));
    }
    if (s.keptFiles > 0) {
        lines << QStringLiteral("%1 the device itself needs will be kept.")
                     .arg(countText(s.keptFiles, "file", "files"));
    }
    lines << QStringLiteral("This can't be undone.");
    return lines.join(QLatin1Char('\n'));
}

QString keptFilesText(const std::vector<QString>& names) {
    if (names.empty()) {
        return {};
    }
    if (names.size() == 1) {
        return QStringLiteral("This file the device itself needs is kept: %1.").arg(names.front());
    }
    return QStringLiteral("These %1 the device itself needs are kept: %2.")
        .arg(countText(names.size(), "file", "files"), nameListText(names));
}

}  // namespace nimbara::cleanup
